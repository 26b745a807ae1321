// Stand-in for the macOS "defaults" command, enough for what the reset tool runs:
//   defaults read <domain | plist path> <key>   prints the value and a line end
//   defaults delete <domain>                    removes ~/Library/Preferences/<domain>.plist
// A domain is a preferences file in ~/Library/Preferences; an argument that starts with "/" is a
// property-list path, with or without its ".plist" extension. XML and binary lists both work.
#define _GNU_SOURCE  // asprintf
#include <errno.h>
#include <inttypes.h>
#include <plist/plist.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static const char* home_directory(void) {
    const char* home = getenv("HOME");
    if (home != NULL && home[0] == '/') {
        return home;
    }
    struct passwd* entry = getpwuid(getuid());
    return entry != NULL ? entry->pw_dir : "/";
}

static int file_exists(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// The property-list file for a domain or path argument, in a buffer the caller frees.
static char* plist_path_for(const char* domain) {
    char* path = NULL;
    if (domain[0] == '/') {
        if (file_exists(domain)) {
            return strdup(domain);
        }
        if (asprintf(&path, "%s.plist", domain) < 0) {
            return NULL;
        }
        return path;
    }
    if (asprintf(&path, "%s/Library/Preferences/%s.plist", home_directory(), domain) < 0) {
        return NULL;
    }
    return path;
}

static plist_t load_plist(const char* path) {
    FILE* file = fopen(path, "rb");
    if (file == NULL) {
        return NULL;
    }
    char* data = NULL;
    size_t size = 0;
    size_t capacity = 0;
    for (;;) {
        if (size == capacity) {
            capacity = capacity == 0 ? 4096 : capacity * 2;
            if (capacity > (64u << 20)) {  // no preferences file is that big
                free(data);
                fclose(file);
                return NULL;
            }
            char* grown = realloc(data, capacity);
            if (grown == NULL) {
                free(data);
                fclose(file);
                return NULL;
            }
            data = grown;
        }
        size_t got = fread(data + size, 1, capacity - size, file);
        size += got;
        if (got == 0) {
            break;
        }
    }
    fclose(file);
    plist_t root = NULL;
    if (size > 0) {
        plist_from_memory(data, (uint32_t)size, &root);
    }
    free(data);
    return root;
}

static void print_value(plist_t node) {
    switch (plist_get_node_type(node)) {
        case PLIST_STRING: {
            char* value = NULL;
            plist_get_string_val(node, &value);
            printf("%s\n", value != NULL ? value : "");
            free(value);
            break;
        }
        case PLIST_BOOLEAN: {
            uint8_t value = 0;
            plist_get_bool_val(node, &value);
            printf("%d\n", value ? 1 : 0);
            break;
        }
        case PLIST_UINT: {
            uint64_t value = 0;
            plist_get_uint_val(node, &value);
            printf("%" PRIu64 "\n", value);
            break;
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            printf("%g\n", value);
            break;
        }
        default: {
            // Containers, dates and data: their XML form is close enough for a stand-in.
            char* xml = NULL;
            uint32_t length = 0;
            plist_to_xml(node, &xml, &length);
            printf("%s", xml != NULL ? xml : "\n");
            free(xml);
            break;
        }
    }
}

static int read_key(const char* domain, const char* key) {
    char* path = plist_path_for(domain);
    plist_t root = path != NULL ? load_plist(path) : NULL;
    plist_t node = NULL;
    if (root != NULL && plist_get_node_type(root) == PLIST_DICT) {
        node = plist_dict_get_item(root, key);
    }
    if (node == NULL) {
        fprintf(stderr, "\nThe domain/default pair of (%s, %s) does not exist\n", domain, key);
        plist_free(root);
        free(path);
        return 1;
    }
    print_value(node);
    plist_free(root);
    free(path);
    return 0;
}

static int delete_domain(const char* domain) {
    char* path = plist_path_for(domain);
    if (path == NULL) {
        return 1;
    }
    if (!file_exists(path)) {
        fprintf(stderr, "Domain (%s) not found.\nDefaults have not been changed.\n", domain);
        free(path);
        return 1;
    }
    if (unlink(path) != 0) {
        fprintf(stderr, "Could not delete %s: %s\n", path, strerror(errno));
        free(path);
        return 1;
    }
    free(path);
    return 0;
}

static int usage(void) {
    fputs("usage: defaults read <domain> <key>\n       defaults delete <domain>\n", stderr);
    return 64;
}

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "read") == 0) {
        return read_key(argv[2], argv[3]);
    }
    if (argc == 3 && strcmp(argv[1], "delete") == 0) {
        return delete_domain(argv[2]);
    }
    return usage();
}
