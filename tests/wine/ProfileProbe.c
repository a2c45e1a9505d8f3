/* profile_probe: asks the Windows private-profile functions about INI files, so that the
 * tests can hold our reader to them. A Windows console program, run under wine.
 *
 *   profile_probe.exe QUERYFILE
 *
 * QUERYFILE holds one query a line, fields separated by one blank. A text field is "-"
 * for NULL, otherwise "x" followed by its bytes in hex ("x" alone is the empty text):
 *
 *   a                          the ANSI code page in force (GetACP)
 *   s FILE SECTION KEY SIZE    GetPrivateProfileStringA with a buffer of SIZE characters
 *
 * One answer a line, in query order: for "a" the number; for "s" with a section and a
 * key "-" when the key is not there (two calls with different defaults both gave their
 * default back), else the text the function handed over; for "s" with a NULL section or
 * key (the lists of sections and keys) the buffer's first (return value) bytes, each
 * name followed by its NUL. Texts in the "x" form. Exit code 0, or 2 for a query it
 * cannot read. */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

enum { kMaxField = 70000 };

static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/* Decodes one field; returns NULL for "-", sets *ok to 0 for a malformed one. */
static char* Field(const char* text, char* out, int* ok) {
    size_t n = strlen(text), i;
    if (strcmp(text, "-") == 0) return NULL;
    if (text[0] != 'x' || (n - 1) % 2 != 0 || (n - 1) / 2 >= kMaxField) {
        *ok = 0;
        return out;
    }
    for (i = 0; i < (n - 1) / 2; ++i) {
        int hi = HexValue(text[1 + 2 * i]), lo = HexValue(text[2 + 2 * i]);
        if (hi < 0 || lo < 0) {
            *ok = 0;
            return out;
        }
        out[i] = (char)(hi * 16 + lo);
    }
    out[i] = '\0';
    return out;
}

static void PrintHex(const char* bytes, size_t n) {
    size_t i;
    putchar('x');
    for (i = 0; i < n; ++i) printf("%02x", (unsigned char)bytes[i]);
}

static char g_line[8 * kMaxField];
static char g_file[kMaxField], g_section[kMaxField], g_key[kMaxField];

static int BadQuery(void) {
    fprintf(stderr, "profile_probe: bad query\n");
    return 2;
}

int main(int argc, char** argv) {
    FILE* queries;
    if (argc != 2) {
        fprintf(stderr, "usage: profile_probe QUERYFILE\n");
        return 2;
    }
    queries = fopen(argv[1], "rb");
    if (queries == NULL) {
        fprintf(stderr, "profile_probe: cannot open %s\n", argv[1]);
        return 2;
    }
    while (fgets(g_line, sizeof g_line, queries) != NULL) {
        char* words[6] = {0};
        int count = 0, ok = 1;
        char* p = strtok(g_line, " \r\n");
        while (p != NULL && count < 6) {
            words[count++] = p;
            p = strtok(NULL, " \r\n");
        }
        if (count == 0) continue;
        if (strcmp(words[0], "a") == 0 && count == 1) {
            printf("%u\n", (unsigned)GetACP());
        } else if (strcmp(words[0], "s") == 0 && count == 5) {
            const char* file = Field(words[1], g_file, &ok);
            const char* section = Field(words[2], g_section, &ok);
            const char* key = Field(words[3], g_key, &ok);
            const long size = strtol(words[4], NULL, 10);
            char *first, *second;
            DWORD got;
            if (!ok || file == NULL || size < 0 || size > 4 * kMaxField) return BadQuery();
            first = (char*)calloc((size_t)size + 1, 1);
            second = (char*)calloc((size_t)size + 1, 1);
            if (section == NULL || key == NULL) {
                got = GetPrivateProfileStringA(section, key, "", first, (DWORD)size, file);
                PrintHex(first, got < (DWORD)size ? got : (size_t)size);
            } else {
                got = GetPrivateProfileStringA(section, key, "\x01", first, (DWORD)size, file);
                GetPrivateProfileStringA(section, key, "\x02", second, (DWORD)size, file);
                if (size >= 2 && strcmp(first, "\x01") == 0 && strcmp(second, "\x02") == 0)
                    putchar('-');
                else
                    PrintHex(first, got < (DWORD)size ? got : (size_t)size);
            }
            putchar('\n');
            free(first);
            free(second);
        } else {
            return BadQuery();
        }
    }
    fclose(queries);
    return 0;
}
