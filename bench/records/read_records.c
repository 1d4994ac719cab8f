/* Reads one remote file record by record through the library's C interface
 * alone, as a host program would:
 *
 *   zel_read_records NODE FILE
 *
 * opens a link to NODE (user "bench", password from ZELFT_PASSWORD when set),
 * opens FILE, calls RfaReadFile until the end of the file, and prints
 * "records bytes seconds": the records read, the characters they gave, and
 * the seconds from the first read to the end of the file. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <zel32.h>

static int32_t Done(uint32_t handle, uint32_t status, intptr_t spool, const char *text) {
    (void)handle;
    (void)status;
    (void)spool;
    (void)text;
    return 0;
}

static double Now(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

int main(int argc, char **argv) {
    static char list[4096];
    static char record[4096];
    RfaOpenLinkParams params;
    RfaLinkStatus status;
    const char *password = getenv("ZELFT_PASSWORD");
    unsigned long long records = 0, bytes = 0;
    uint16_t length = 0;
    double start;
    int32_t code;

    if (argc != 3) {
        fprintf(stderr, "usage: zel_read_records NODE FILE\n");
        return 2;
    }
    ZelInit(list, sizeof list);
    memset(&params, 0, sizeof params);
    snprintf(params.nodeName, sizeof params.nodeName, "%s", argv[1]);
    snprintf(params.userName, sizeof params.userName, "bench");
    snprintf(params.password, sizeof params.password, "%s", password != NULL ? password : "bench");
    params.notify = Done;
    code = RfaOpenLink(&params);
    if (code != 0) {
        fprintf(stderr, "zel_read_records: cannot open a link to %s (error %d)\n", argv[1], (int)code);
        return 1;
    }
    code = RfaOpenFile(params.handle, argv[2]);
    if (code != 0) {
        fprintf(stderr, "zel_read_records: cannot open %s (error %d)\n", argv[2], (int)code);
        RfaCloseLink(params.handle);
        return 1;
    }
    start = Now();
    for (;;) {
        code = RfaReadFile(params.handle, (uint16_t)sizeof record, record, &length);
        if (code != 0) break;
        if (length == 0) {
            RfaLook(params.handle, &status, (uint16_t)sizeof status);
            if (status.errorValue == 0x5027) break; /* the end of the file */
        }
        ++records;
        bytes += length;
    }
    {
        const double seconds = Now() - start;
        const int32_t closed = RfaCloseFile(params.handle);
        RfaCloseLink(params.handle);
        if (code != 0 || closed != 0) {
            fprintf(stderr, "zel_read_records: reading %s failed (error %d)\n", argv[2], (int)(code != 0 ? code : closed));
            return 1;
        }
        printf("%llu %llu %.4f\n", records, bytes, seconds);
    }
    return 0;
}
