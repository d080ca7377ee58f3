// The JNIEnv and JavaVM slots the service host does not use: each aborts the host with a
// fatal error that names the slot, so that a new JNI call in the host shows at once
// instead of returning something a real VM never would.
#include "bridge_jvm.h"

#include "../jni_slots.h"

namespace {

const char* envSlotNames[kJniEnvSlots];
const char* vmSlotNames[kJniVmSlots];

void abortUnimplemented(JniTable table, size_t slot) {
    bool env = table == JNI_ENV_TABLE;
    Fatal("%s function %s (slot %u) is not implemented by the bridge", env ? "JNIEnv" : "JavaVM",
          env ? envSlotNames[slot] : vmSlotNames[slot], unsigned(slot));
}

}  // namespace

void FillUnimplementedEnvSlots(JNINativeInterface_* table) { FillJniEnvSlots<abortUnimplemented>(table, envSlotNames); }

void FillUnimplementedVmSlots(JNIInvokeInterface_* table) { FillJniVmSlots<abortUnimplemented>(table, vmSlotNames); }
