// A loadable library that is not a Cryptoki module: it exports one function and no
// C_GetFunctionList.
#ifdef _WIN32
#define QNOTP11_EXPORT __declspec(dllexport)
#else
#define QNOTP11_EXPORT __attribute__((visibility("default")))
#endif

extern "C" QNOTP11_EXPORT int qnotp11_answer(void) {
  return 42;
}
