// The JVM launch and the Java bridge. For now it holds the JVM host's process-wide
// state, where the VM options and main arguments are kept for the launch.
#include "jvm_host.h"

JvmHost jvmHost;
