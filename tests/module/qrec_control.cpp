// Control functions for tests that load the module themselves: configuration overrides, the
// journal, a full reset and the layout report.
#include "qrec_internal.h"
#include "qrec_layout.h"

#include <stdlib.h>

extern "C" {

QREC_EXPORT void qrec_set(const char* key, const char* value) {
  if (!key) return;
  qrec_lock();
  cfg_set_override(key, value);
  cfg_refresh();
  qrec_unlock();
}

QREC_EXPORT void qrec_clear(void) {
  qrec_lock();
  cfg_clear_overrides();
  cfg_refresh();
  qrec_unlock();
}

QREC_EXPORT const char* qrec_journal(void) {
  qrec_lock();
  const char* text = journal_text();
  qrec_unlock();
  return text;
}

QREC_EXPORT void qrec_journal_clear(void) {
  qrec_lock();
  journal_clear();
  qrec_unlock();
}

QREC_EXPORT void qrec_reset(void) {
  qrec_lock();
  state_reset();
  qrec_unlock();
}

QREC_EXPORT const char* qrec_layout(void) {
  static char* text;
  qrec_lock();
  if (!text) {
    size_t n = qrec_layout_write(NULL, 0);
    text = static_cast<char*>(malloc(n + 1));
    if (text) qrec_layout_write(text, n + 1);
  }
  qrec_unlock();
  return text ? text : "";
}

}  // extern "C"
