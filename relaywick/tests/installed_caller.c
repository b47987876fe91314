/* A C caller built against the installed header and pkg-config file. */
#include <relaywick.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;

static void check(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s work-folder unused-port\n", argv[0]);
        return 2;
    }
    char path[1024], archive[1024], out[1024], url[128];
    snprintf(path, sizeof path, "%s/note.txt", argv[1]);
    snprintf(archive, sizeof archive, "%s/note.zip", argv[1]);
    snprintf(out, sizeof out, "%s/out", argv[1]);
    snprintf(url, sizeof url, "http://127.0.0.1:%s/x", argv[2]);

    FILE* f = fopen(path, "w");
    if (!f)
        return 2;
    fputs("from C", f);
    fclose(f);

    check(Init() == 1, "Init");
    check(AddUploadVariables("name", "value") == 1, "AddUploadVariables");

    char result[RELAYWICK_RESULT_SIZE] = {0};
    check(SendHttpRequest(path, url, 1, NULL, NULL, 0, result) == 0, "upload to a closed port");
    check(strcmp(result, "Failed in call to HttpSendRequest, Error:12029\n") == 0, result);

    char last[RELAYWICK_NAME_SIZE] = {0};
    check(Zip((intptr_t)archive, (intptr_t)path) == 0, "Zip before LoadZipLib");
    check(LoadZipLib() == 1, "LoadZipLib finds libzipdll beside the library");
    check(Zip((intptr_t)archive, (intptr_t)path) == 1, "Zip");
    check(UnZip((intptr_t)archive, (intptr_t)out, last) == 1, "UnZip");
    check(strcmp(last, "note.txt") == 0, "last name");
    check(UnLoadZipLib() == 1, "UnLoadZipLib");

    if (failures == 0)
        puts("C caller ok");
    return failures == 0 ? 0 : 1;
}
