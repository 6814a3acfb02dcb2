// Control interface of the recording test module, for native tests that load it with
// dlopen/LoadLibrary and look these names up (all C linkage).
#ifndef QREC_API_H
#define QREC_API_H

#ifdef __cplusplus
extern "C" {
#endif

// Sets an in-process configuration override (value NULL removes it); overrides win over the
// QREC_CONFIG file and the QREC_<KEY> environment variables.
typedef void (*qrec_set_fn)(const char* key, const char* value);
// Removes every override.
typedef void (*qrec_clear_fn)(void);
// The journal so far: one line per call, each ending in '\n'. Valid until the next call into
// the module.
typedef const char* (*qrec_journal_fn)(void);
typedef void (*qrec_journal_clear_fn)(void);
// Forgets all state: the initialised flag, sessions, objects, token parameters and the journal.
typedef void (*qrec_reset_fn)(void);
// The structure layout as the module was compiled (see qrec_layout.h).
typedef const char* (*qrec_layout_fn)(void);

#ifdef __cplusplus
}
#endif

#endif  // QREC_API_H
