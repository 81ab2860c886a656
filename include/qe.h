/* The one door of the engine library for host programs: plain C functions, exported by name. */
#ifndef QE_H
#define QE_H

#if defined(_WIN32)
#define QE_API __declspec(dllexport)
#else
#define QE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Script command exchange with the current interpreter host.
   QE_SendLispCommand: evaluates every form of the text; 0 when no host exists, else 1.
   QE_GetLispAnswer: what the last command printed, each value followed by a line feed; owned by the host and
   valid until the next call; null when no host exists. */
QE_API int QE_SendLispCommand(const char* command);
QE_API const char* QE_GetLispAnswer(void);

#ifdef __cplusplus
}
#endif

#endif
