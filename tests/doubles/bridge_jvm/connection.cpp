// The connection of each attached thread to the Java bridge server, and the framing of
// the forwarded calls: big-endian integers and Java's modified UTF-8 with a 16-bit
// length, as Java's DataInputStream reads them.
#include "bridge_jvm.h"

#include <cstring>

namespace {

const DWORD kEnvMagic = 0x4A425245;   // "JBRE"

bool sendAll(SOCKET socket, const char* data, size_t size) {
    while (size > 0) {
        int sent = ::send(socket, data, int(size), 0);
        if (sent <= 0) return false;
        data += sent;
        size -= size_t(sent);
    }
    return true;
}

void putUtf(std::string& buffer, const char* text) {
    size_t length = strlen(text);
    buffer += char(length >> 8);
    buffer += char(length);
    buffer.append(text, length);
}

}  // namespace

BridgeEnv* ConnectThread(const char* name) {
    SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) return nullptr;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(u_short(g_javaPort));
    BOOL noDelay = TRUE;   // one small request per call: Nagle's delay would dominate
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    std::string greeting;
    putUtf(greeting, g_token.c_str());
    putUtf(greeting, name);
    if (connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        !sendAll(socket, greeting.data(), greeting.size())) {
        closesocket(socket);
        return nullptr;
    }
    BridgeEnv* env = new BridgeEnv;
    env->functions = EnvFunctions();
    env->magic = kEnvMagic;
    env->threadId = GetCurrentThreadId();
    env->socket = socket;
    return env;
}

void CloseThread(BridgeEnv* env) {
    closesocket(env->socket);
    env->magic = 0;
    delete env;
}

jobject ReferenceFor(int32_t handle) {
    return handle ? reinterpret_cast<jobject>(kReferenceBase + uint32_t(handle)) : nullptr;
}

Request::Request(JNIEnv* env, const char* function, Op op) : function_(function) {
    env_ = reinterpret_cast<BridgeEnv*>(env);
    if (!env_ || env_->magic != kEnvMagic) Fatal("%s called with a JNIEnv that is not one of this VM", function);
    // A JNIEnv is valid only on its own thread.
    if (env_->threadId != GetCurrentThreadId())
        Fatal("%s called on thread %lu with the JNIEnv of thread %lu", function, GetCurrentThreadId(), env_->threadId);
    buffer_ += char(op);
}

Request& Request::byte(int value) {
    buffer_ += char(value);
    return *this;
}

Request& Request::int32(int32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) buffer_ += char(uint32_t(value) >> shift);
    return *this;
}

Request& Request::int64(int64_t value) {
    int32(int32_t(uint64_t(value) >> 32));
    return int32(int32_t(uint64_t(value)));
}

Request& Request::real(double value) {
    int64_t bits;
    memcpy(&bits, &value, sizeof bits);
    return int64(bits);
}

Request& Request::utf(const char* text) {
    if (!text) Fatal("%s given a null text", function_);
    if (strlen(text) > 65535) Fatal("%s given a text longer than the bridge carries (65535 bytes)", function_);
    putUtf(buffer_, text);
    return *this;
}

Request& Request::ref(const void* reference) {
    uint64_t value = reinterpret_cast<uint64_t>(reference);
    if (value && (value <= kReferenceBase || value - kReferenceBase > 0x7FFFFFFF))
        Fatal("%s given %p, which is not a reference of this VM", function_, reference);
    return int32(value ? int32_t(value - kReferenceBase) : 0);
}

void Request::send() {
    if (!sendAll(env_->socket, buffer_.data(), buffer_.size()))
        Fatal("%s: the connection to the Java VM is lost (%d)", function_, WSAGetLastError());
    uint8_t status;
    receive(&status, 1);
    if (status != 0) Fatal("%s: %s", function_, readUtf().c_str());
}

// The Java side writes each reply whole and nothing after it, so what one recv brings
// belongs to this reply; fewer receives keep a call cheap under Wine.
void Request::receive(void* data, size_t size) {
    while (reply_.size() - replyAt_ < size) {
        char chunk[4096];
        int got = recv(env_->socket, chunk, sizeof chunk, 0);
        if (got <= 0) Fatal("%s: the connection to the Java VM is lost (%d)", function_, WSAGetLastError());
        reply_.append(chunk, size_t(got));
    }
    memcpy(data, reply_.data() + replyAt_, size);
    replyAt_ += size;
}

bool Request::readBool() {
    uint8_t value;
    receive(&value, 1);
    return value != 0;
}

int32_t Request::readInt() {
    uint8_t bytes[4];
    receive(bytes, 4);
    return int32_t(uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3]);
}

int64_t Request::readLong() {
    uint64_t high = uint32_t(readInt());
    return int64_t(high << 32 | uint32_t(readInt()));
}

double Request::readDouble() {
    int64_t bits = readLong();
    double value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

jobject Request::readRef() { return ReferenceFor(readInt()); }

std::string Request::readUtf() {
    uint8_t length[2];
    receive(length, 2);
    std::string text(size_t(length[0]) << 8 | length[1], '\0');
    if (!text.empty()) receive(&text[0], text.size());
    return text;
}

std::string Request::readText() {
    std::string text(size_t(uint32_t(readInt())), '\0');
    if (!text.empty()) receive(&text[0], text.size());
    return text;
}
