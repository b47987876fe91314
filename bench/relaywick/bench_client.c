/* One transfer through librelaywick, for the benchmark:
 *   relaywick_bench_client get URL OUTFILE
 *   relaywick_bench_client post URL FILE */
#include <relaywick.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc != 4 || (strcmp(argv[1], "get") != 0 && strcmp(argv[1], "post") != 0)) {
        fprintf(stderr, "usage: %s get|post URL FILE\n", argv[0]);
        return 2;
    }
    char result[RELAYWICK_RESULT_SIZE] = {0};
    const unsigned char upload = strcmp(argv[1], "post") == 0;
    Init();
    if (upload)
        AddUploadVariables("purpose", "benchmark");
    const unsigned char ok = SendHttpRequest(argv[3], argv[2], upload, NULL, NULL, 0, result);
    if (!ok) {
        fprintf(stderr, "transfer failed: %.255s\n", result);
        return 1;
    }
    if (upload)
        printf("%.255s\n", result);
    return 0;
}
