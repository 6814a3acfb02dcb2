// Configuration lookup: in-process overrides, then the QREC_CONFIG file (re-read on every call
// into the module), then QREC_<KEY> environment variables.
#include "qrec_internal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

struct Entry {
  char* key;
  char* value;
};

const size_t kMaxOverrides = 512;
Entry g_overrides[kMaxOverrides];
size_t g_overrideCount;

// The configuration file as last read: its text (split in place) and the entries into it.
char* g_fileText;
Entry* g_fileEntries;
size_t g_fileEntryCount;

// Environment values copied out of the process environment, so that they stay valid for the
// whole call even if the host changes its environment; freed on the next refresh.
char** g_scratch;
size_t g_scratchCount;
size_t g_scratchCap;

char* copy_text(const char* s) {
  size_t n = strlen(s);
  char* c = static_cast<char*>(malloc(n + 1));
  if (c) memcpy(c, s, n + 1);
  return c;
}

char* keep_scratch(char* s) {
  if (!s) return NULL;
  if (g_scratchCount == g_scratchCap) {
    size_t cap = g_scratchCap ? g_scratchCap * 2 : 32;
    char** grown = static_cast<char**>(realloc(g_scratch, cap * sizeof(char*)));
    if (!grown) {
      free(s);
      return NULL;
    }
    g_scratch = grown;
    g_scratchCap = cap;
  }
  g_scratch[g_scratchCount++] = s;
  return s;
}

void free_scratch() {
  for (size_t i = 0; i < g_scratchCount; ++i) free(g_scratch[i]);
  g_scratchCount = 0;
}

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Splits the file text into KEY=VALUE entries. Blank lines and lines starting with '#' are
// skipped; the key is trimmed, the value is kept as written except for a trailing '\r'.
void parse_file() {
  g_fileEntryCount = 0;
  size_t lines = 1;
  for (const char* p = g_fileText; *p; ++p) lines += (*p == '\n');
  g_fileEntries = static_cast<Entry*>(malloc(lines * sizeof(Entry)));
  if (!g_fileEntries) return;
  char* p = g_fileText;
  while (*p) {
    char* line = p;
    char* eol = strchr(p, '\n');
    if (eol) {
      *eol = '\0';
      p = eol + 1;
    } else {
      p += strlen(p);
    }
    size_t n = strlen(line);
    if (n && line[n - 1] == '\r') line[--n] = '\0';
    while (*line == ' ' || *line == '\t') ++line;
    if (!*line || *line == '#') continue;
    char* eq = strchr(line, '=');
    if (!eq) continue;
    char* keyEnd = eq;
    while (keyEnd > line && is_space(keyEnd[-1])) --keyEnd;
    *keyEnd = '\0';
    g_fileEntries[g_fileEntryCount].key = line;
    g_fileEntries[g_fileEntryCount].value = eq + 1;
    ++g_fileEntryCount;
  }
}

void read_file() {
  free(g_fileEntries);
  g_fileEntries = NULL;
  g_fileEntryCount = 0;
  free(g_fileText);
  g_fileText = NULL;

  const char* path = cfg_env("QREC_CONFIG");
  if (!path || !*path) return;
  FILE* f = fopen(path, "rb");
  if (!f) return;
  size_t cap = 4096;
  size_t len = 0;
  char* text = static_cast<char*>(malloc(cap));
  while (text) {
    if (len + 1 >= cap) {
      char* grown = static_cast<char*>(realloc(text, cap * 2));
      if (!grown) {
        free(text);
        text = NULL;
        break;
      }
      text = grown;
      cap *= 2;
    }
    size_t got = fread(text + len, 1, cap - 1 - len, f);
    if (got == 0) break;
    len += got;
  }
  fclose(f);
  if (!text) return;
  text[len] = '\0';
  g_fileText = text;
  parse_file();
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

const char* cfg_env(const char* name) {
#ifdef _WIN32
  // The process environment itself, so that changes made with SetEnvironmentVariable by the
  // host program are seen whatever C runtime it uses.
  char small[1];
  DWORD need = GetEnvironmentVariableA(name, small, 0);
  if (need == 0) return NULL;
  char* value = static_cast<char*>(malloc(need));
  if (!value) return NULL;
  DWORD got = GetEnvironmentVariableA(name, value, need);
  if (got >= need) {
    free(value);
    return NULL;
  }
  return keep_scratch(value);
#else
  const char* value = getenv(name);
  return value ? keep_scratch(copy_text(value)) : NULL;
#endif
}

// Set while SOAK is on: the configuration file was read and is not read again, and no journal
// is kept, so that a long run costs the same on its millionth call as on its first.
static bool g_steady;

void cfg_refresh() {
  free_scratch();
  if (g_steady) return;
  read_file();
  apply_function_list_config();
  g_steady = cfg_ulong("SOAK", 0) != 0;
}

bool cfg_steady() {
  return g_steady;
}

const char* cfg_get(const char* key) {
  for (size_t i = 0; i < g_overrideCount; ++i) {
    if (strcmp(g_overrides[i].key, key) == 0) return g_overrides[i].value;
  }
  // The last line that sets a key wins, so a test can append an override to a file.
  for (size_t i = g_fileEntryCount; i > 0; --i) {
    if (strcmp(g_fileEntries[i - 1].key, key) == 0) return g_fileEntries[i - 1].value;
  }
  size_t n = strlen(key);
  char* name = static_cast<char*>(malloc(n + 6));
  if (!name) return NULL;
  memcpy(name, "QREC_", 5);
  memcpy(name + 5, key, n + 1);
  const char* value = cfg_env(name);
  free(name);
  return value;
}

const char* cfg_slot_get(size_t slotIndex, const char* key) {
  char prefix[32];
  snprintf(prefix, sizeof prefix, "S%lu_", static_cast<unsigned long>(slotIndex));
  size_t p = strlen(prefix);
  size_t n = strlen(key);
  char* name = static_cast<char*>(malloc(p + n + 1));
  if (name) {
    memcpy(name, prefix, p);
    memcpy(name + p, key, n + 1);
    const char* value = cfg_get(name);
    free(name);
    if (value) return value;
  }
  return cfg_get(key);
}

bool cfg_parse_ulong(const char* text, CK_ULONG* out) {
  if (!text) return false;
  while (*text == ' ' || *text == '\t') ++text;
  if (!*text) return false;
  char* end = NULL;
  unsigned long long v = strtoull(text, &end, 0);
  if (end == text) return false;
  *out = static_cast<CK_ULONG>(v);
  return true;
}

CK_ULONG cfg_ulong(const char* key, CK_ULONG def) {
  CK_ULONG v;
  return cfg_parse_ulong(cfg_get(key), &v) ? v : def;
}

CK_ULONG cfg_slot_ulong(size_t slotIndex, const char* key, CK_ULONG def) {
  CK_ULONG v;
  return cfg_parse_ulong(cfg_slot_get(slotIndex, key), &v) ? v : def;
}

CK_ULONG* cfg_parse_list(const char* text, size_t* n) {
  *n = 0;
  if (!text) return NULL;
  size_t items = 1;
  for (const char* p = text; *p; ++p) items += (*p == ',');
  CK_ULONG* list = static_cast<CK_ULONG*>(malloc(items * sizeof(CK_ULONG)));
  if (!list) return NULL;
  const char* p = text;
  while (*p) {
    const char* comma = strchr(p, ',');
    size_t len = comma ? static_cast<size_t>(comma - p) : strlen(p);
    char item[64];
    if (len >= sizeof item) len = sizeof item - 1;
    memcpy(item, p, len);
    item[len] = '\0';
    CK_ULONG v;
    if (cfg_parse_ulong(item, &v)) list[(*n)++] = v;
    if (!comma) break;
    p = comma + 1;
  }
  return list;
}

unsigned char* cfg_parse_hex(const char* text, size_t* n) {
  *n = 0;
  size_t digits = text ? strlen(text) : 0;
  unsigned char* out = static_cast<unsigned char*>(malloc(digits / 2 + 1));
  if (!out || !text) return out;
  int high = -1;
  for (const char* p = text; *p; ++p) {
    int d = hex_digit(*p);
    if (d < 0) continue;
    if (high < 0) {
      high = d;
    } else {
      out[(*n)++] = static_cast<unsigned char>(high * 16 + d);
      high = -1;
    }
  }
  return out;
}

bool cfg_parse_version(const char* text, CK_VERSION* out) {
  if (!text || !*text) return false;
  char* end = NULL;
  unsigned long major = strtoul(text, &end, 10);
  if (end == text) return false;
  unsigned long minor = 0;
  if (*end == '.') minor = strtoul(end + 1, NULL, 10);
  out->major = static_cast<CK_BYTE>(major);
  out->minor = static_cast<CK_BYTE>(minor);
  return true;
}

void cfg_text_field(size_t slotIndex, const char* key, unsigned char* field, size_t width,
                    const char* deflt) {
  memset(field, ' ', width);
  char hexKey[128];
  snprintf(hexKey, sizeof hexKey, "%s_HEX", key);
  bool perSlot = slotIndex != static_cast<size_t>(-1);
  const char* hex = perSlot ? cfg_slot_get(slotIndex, hexKey) : cfg_get(hexKey);
  if (hex) {
    size_t n = 0;
    unsigned char* bytes = cfg_parse_hex(hex, &n);
    if (bytes) memcpy(field, bytes, n < width ? n : width);
    free(bytes);
    return;
  }
  const char* text = perSlot ? cfg_slot_get(slotIndex, key) : cfg_get(key);
  if (!text) text = deflt;
  size_t n = strlen(text);
  memcpy(field, text, n < width ? n : width);
}

void cfg_set_override(const char* key, const char* value) {
  g_steady = false;  // the next refresh reads everything again
  for (size_t i = 0; i < g_overrideCount; ++i) {
    if (strcmp(g_overrides[i].key, key) != 0) continue;
    free(g_overrides[i].value);
    if (value) {
      g_overrides[i].value = copy_text(value);
    } else {
      free(g_overrides[i].key);
      g_overrides[i] = g_overrides[--g_overrideCount];
    }
    return;
  }
  if (!value || g_overrideCount == kMaxOverrides) return;
  char* k = copy_text(key);
  char* v = copy_text(value);
  if (!k || !v) {
    free(k);
    free(v);
    return;
  }
  g_overrides[g_overrideCount].key = k;
  g_overrides[g_overrideCount].value = v;
  ++g_overrideCount;
}

void cfg_clear_overrides() {
  g_steady = false;
  for (size_t i = 0; i < g_overrideCount; ++i) {
    free(g_overrides[i].key);
    free(g_overrides[i].value);
  }
  g_overrideCount = 0;
}
