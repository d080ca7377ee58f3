// The table slots the service host must never call: each is filled with a stub of the
// slot's own signature (jni_slots.h) that journals "unexpected <table> slot <index>
// <name>", writes it to standard error and returns zero, null, or JNI_ERR for a jint result.
#include "standin_jvm.h"

#include "../jni_slots.h"

namespace {

const char* envSlotNames[kJniEnvSlots];
const char* vmSlotNames[kJniVmSlots];

void reportUnexpected(JniTable table, size_t slot) {
    const char* name = table == JNI_ENV_TABLE ? envSlotNames[slot] : vmSlotNames[slot];
    Complain("unexpected %s slot %u %s", table == JNI_ENV_TABLE ? "JNIEnv" : "JavaVM", unsigned(slot), name);
}

}  // namespace

void FillUnexpectedEnvSlots(JNINativeInterface_* table) { FillJniEnvSlots<reportUnexpected>(table, envSlotNames); }

void FillUnexpectedVmSlots(JNIInvokeInterface_* table) { FillJniVmSlots<reportUnexpected>(table, vmSlotNames); }
