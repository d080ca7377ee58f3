// A jvm.dll with only one of the two invocation exports that the service host requires,
// built once per export: the host must refuse it before it calls anything. A call all
// the same answers JNI_ERR (-1).
#if defined(EXPORT_CREATE_JAVA_VM)
extern "C" __declspec(dllexport) int __stdcall JNI_CreateJavaVM(void**, void**, void*) { return -1; }
#elif defined(EXPORT_DEFAULT_INIT_ARGS)
extern "C" __declspec(dllexport) int __stdcall JNI_GetDefaultJavaVMInitArgs(void*) { return -1; }
#endif
