/* Transfers through librelaywick, for the benchmark and the soak:
 *   relaywick_bench_client get URL OUTFILE
 *   relaywick_bench_client post URL FILE
 *   relaywick_bench_client soak COUNT BASE-URL FILE
 * soak downloads BASE-URL/file and uploads FILE to BASE-URL/upload COUNT times each,
 * sampling resident memory and open descriptors, and fails when either grows. */
#include <relaywick.h>

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int transfer(int upload, const char* url, const char* file, int say) {
    char result[RELAYWICK_RESULT_SIZE] = {0};
    Init();
    if (upload)
        AddUploadVariables("purpose", "benchmark");
    if (!SendHttpRequest(file, url, (unsigned char)upload, NULL, NULL, 0, result)) {
        fprintf(stderr, "transfer failed: %.255s\n", result);
        return 0;
    }
    if (upload && strncmp(result, "received ", 9) != 0) {
        fprintf(stderr, "unexpected answer: %.255s\n", result);
        return 0;
    }
    if (upload && say)
        printf("%.255s\n", result);
    return 1;
}

static long resident_kib(void) {
    long pages = 0, resident = 0;
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm) {
        if (fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

static int open_descriptors(void) {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    while (readdir(dir))
        ++count;
    closedir(dir);
    return count - 3; /* ".", ".." and the listing's own */
}

static int soak(int count, const char* base, const char* file) {
    char get[512], post[512], copy[512];
    snprintf(get, sizeof get, "%s/file", base);
    snprintf(post, sizeof post, "%s/upload", base);
    snprintf(copy, sizeof copy, "%s.copy", file);
    const int every = count >= 10 ? count / 10 : 1;
    long first_kib = 0, last_kib = 0;
    int first_fds = 0, last_fds = 0;
    for (int i = 1; i <= count; ++i) {
        if (!transfer(0, get, copy, 0) || !transfer(1, post, file, 0))
            return 1;
        if (i % every == 0) {
            last_kib = resident_kib();
            last_fds = open_descriptors();
            if (!first_kib) {
                first_kib = last_kib;
                first_fds = last_fds;
            }
            printf("transfers %5d  rss %6ld KiB  fds %d\n", 2 * i, last_kib, last_fds);
            fflush(stdout);
        }
    }
    remove(copy);
    const double growth =
        first_kib ? 100.0 * (double)(last_kib - first_kib) / (double)first_kib : 0;
    printf("relaywick soak: %d downloads and %d uploads; rss first %ld, last %ld KiB (%+.1f %%); "
           "fds first %d, last %d\n",
           count, count, first_kib, last_kib, growth, first_fds, last_fds);
    if (growth > 10.0 || last_fds > first_fds) {
        printf("relaywick soak: FAILED, memory or descriptors grew\n");
        return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 5 && strcmp(argv[1], "soak") == 0)
        return soak(atoi(argv[2]), argv[3], argv[4]);
    if (argc != 4 || (strcmp(argv[1], "get") != 0 && strcmp(argv[1], "post") != 0)) {
        fprintf(stderr, "usage: %s get|post URL FILE | soak COUNT BASE-URL FILE\n", argv[0]);
        return 2;
    }
    const int upload = strcmp(argv[1], "post") == 0;
    return transfer(upload, argv[2], argv[3], 1) ? 0 : 1;
}
