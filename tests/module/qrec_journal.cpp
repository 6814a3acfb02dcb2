// The call journal: one text line per call, kept in memory and optionally appended to the file
// named by the JOURNAL key.
#include "qrec_internal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

char* g_journal;
size_t g_journalLen;
size_t g_journalCap;

const char kHex[] = "0123456789abcdef";

void put(Line* l, const char* s, size_t n) {
  if (!l->buf) return;  // an earlier allocation failed; the line is lost
  if (l->len + n + 1 > l->cap) {
    size_t cap = l->cap;
    while (l->len + n + 1 > cap) cap *= 2;
    char* grown = static_cast<char*>(realloc(l->buf, cap));
    if (!grown) {
      free(l->buf);
      l->buf = NULL;
      return;
    }
    l->buf = grown;
    l->cap = cap;
  }
  memcpy(l->buf + l->len, s, n);
  l->len += n;
  l->buf[l->len] = '\0';
}

void puts_(Line* l, const char* s) {
  put(l, s, strlen(s));
}

// "0x" and the value in lower-case hex without leading zeros.
void put_hex_value(Line* l, unsigned long long v) {
  char digits[2 + 16];
  size_t i = sizeof digits;
  do {
    digits[--i] = kHex[v & 0xf];
    v >>= 4;
  } while (v);
  digits[--i] = 'x';
  digits[--i] = '0';
  put(l, digits + i, sizeof digits - i);
}

void put_hex_bytes(Line* l, const void* p, CK_ULONG len) {
  const unsigned char* b = static_cast<const unsigned char*>(p);
  char pair[2];
  for (CK_ULONG i = 0; i < len; ++i) {
    pair[0] = kHex[b[i] >> 4];
    pair[1] = kHex[b[i] & 0xf];
    put(l, pair, 2);
  }
}

void put_key(Line* l, const char* key) {
  puts_(l, " ");
  puts_(l, key);
  puts_(l, "=");
}

void journal_store(const char* text, size_t n) {
  if (g_journalLen + n + 2 > g_journalCap) {
    size_t cap = g_journalCap ? g_journalCap : 4096;
    while (g_journalLen + n + 2 > cap) cap *= 2;
    char* grown = static_cast<char*>(realloc(g_journal, cap));
    if (!grown) return;
    g_journal = grown;
    g_journalCap = cap;
  }
  memcpy(g_journal + g_journalLen, text, n);
  g_journalLen += n;
  g_journal[g_journalLen++] = '\n';
  g_journal[g_journalLen] = '\0';

  const char* path = cfg_get("JOURNAL");
  if (path && *path) {
    FILE* f = fopen(path, "ab");
    if (f) {
      fwrite(text, 1, n, f);
      fputc('\n', f);
      fflush(f);
      fclose(f);
    }
  }
}

}  // namespace

void ln_begin(Line* l, const char* function) {
  l->cap = 256;
  l->len = 0;
  l->buf = static_cast<char*>(malloc(l->cap));
  if (l->buf) l->buf[0] = '\0';
  puts_(l, function);
}

void ln_raw(Line* l, const char* text) {
  puts_(l, text);
}

void ln_ul(Line* l, const char* key, CK_ULONG v) {
  put_key(l, key);
  put_hex_value(l, v);
}

void ln_byte(Line* l, const char* key, unsigned char v) {
  put_key(l, key);
  put_hex_value(l, v);
}

void ln_out(Line* l, const char* key, const void* p) {
  put_key(l, key);
  puts_(l, p ? "out" : "NULL");
}

void ln_ptr(Line* l, const char* key, const void* p) {
  put_key(l, key);
  puts_(l, p ? "nonnull" : "NULL");
}

void ln_bytes(Line* l, const char* key, const void* p, CK_ULONG len) {
  put_key(l, key);
  if (!p) {
    puts_(l, "NULL");
    return;
  }
  put_hex_bytes(l, p, len);
}

void ln_text(Line* l, const char* key, const void* p) {
  put_key(l, key);
  if (!p) {
    puts_(l, "NULL");
    return;
  }
  put_hex_bytes(l, p, strlen(static_cast<const char*>(p)));
}

void ln_inlen(Line* l, const char* name, const CK_ULONG* p) {
  puts_(l, " ");
  if (!p) {
    puts_(l, name);
    puts_(l, "=NULL");
    return;
  }
  puts_(l, "*");
  puts_(l, name);
  puts_(l, "=");
  put_hex_value(l, *p);
}

// The prototype's name of a buffer's length: pData gives ulDataLen or
// pulDataLen.
static void length_name(char* out, size_t cap, const char* prefix, const char* buffer) {
  snprintf(out, cap, "%s%sLen", prefix, buffer + 1);
}

void ln_in(Line* l, const char* key, const void* p, CK_ULONG len) {
  ln_bytes(l, key, p, len);
  char name[64];
  length_name(name, sizeof name, "ul", key);
  ln_ul(l, name, len);
}

void ln_outlen(Line* l, const char* key, const void* p, const CK_ULONG* pulLen) {
  ln_out(l, key, p);
  char name[64];
  length_name(name, sizeof name, "pul", key);
  ln_inlen(l, name, pulLen);
}

void ln_tmpl(Line* l, const char* key, const CK_ATTRIBUTE* t, CK_ULONG n, bool values) {
  put_key(l, key);
  if (!t) {
    puts_(l, "NULL");
    return;
  }
  puts_(l, "[");
  for (CK_ULONG i = 0; i < n; ++i) {
    if (i) puts_(l, ",");
    puts_(l, "{type=");
    put_hex_value(l, t[i].type);
    puts_(l, ",len=");
    put_hex_value(l, t[i].ulValueLen);
    puts_(l, ",val=");
    if (!t[i].pValue) {
      puts_(l, "NULL");
    } else if (!values) {
      puts_(l, "out");
    } else {
      put_hex_bytes(l, t[i].pValue, t[i].ulValueLen);
    }
    puts_(l, "}");
  }
  puts_(l, "]");
}

void ln_mech(Line* l, const char* key, const CK_MECHANISM* m) {
  put_key(l, key);
  if (!m) {
    puts_(l, "NULL");
    return;
  }
  puts_(l, "{mech=");
  put_hex_value(l, m->mechanism);
  puts_(l, ",param=");
  if (m->pParameter) {
    put_hex_bytes(l, m->pParameter, m->ulParameterLen);
  } else {
    puts_(l, "NULL");
  }
  puts_(l, ",len=");
  put_hex_value(l, m->ulParameterLen);
  puts_(l, "}");
}

void ln_initargs(Line* l, const char* key, const CK_C_INITIALIZE_ARGS* a) {
  put_key(l, key);
  if (!a) {
    puts_(l, "NULL");
    return;
  }
  puts_(l, a->CreateMutex ? "{CreateMutex=nonnull" : "{CreateMutex=NULL");
  puts_(l, a->DestroyMutex ? ",DestroyMutex=nonnull" : ",DestroyMutex=NULL");
  puts_(l, a->LockMutex ? ",LockMutex=nonnull" : ",LockMutex=NULL");
  puts_(l, a->UnlockMutex ? ",UnlockMutex=nonnull" : ",UnlockMutex=NULL");
  puts_(l, ",flags=");
  put_hex_value(l, a->flags);
  puts_(l, a->pReserved ? ",pReserved=nonnull}" : ",pReserved=NULL}");
}

void ln_end(Line* l, CK_RV rv) {
  puts_(l, " -> ");
  put_hex_value(l, rv);
  if (l->buf && !cfg_steady()) journal_store(l->buf, l->len);
  free(l->buf);
  l->buf = NULL;
  l->len = l->cap = 0;
}

const char* journal_text() {
  return g_journal ? g_journal : "";
}

void journal_clear() {
  free(g_journal);
  g_journal = NULL;
  g_journalLen = g_journalCap = 0;
}
