/*
 * fetch: a small host program of libzel32. It opens a link to a node, lists
 * a remote file, copies it here and tells how many bytes came.
 *
 *   fetch NODE REMOTE LOCAL        e.g. fetch 127.0.0.1:7017 notes/todo.txt todo.txt
 *
 * It uses nothing but zel32.h. Exit code 0 when the copy succeeded.
 */
#include <stdio.h>
#include <string.h>
#include <zel32.h>

static char listing[65536];

/* The library calls this at the end of every operation. */
static int32_t Done(uint32_t handle, uint32_t status, intptr_t spoolFile, const char *text) {
    (void)handle;
    (void)text;
    if (spoolFile != 0) printf("(the listing went to a spool file)\n");
    return status == 2 ? 0 : 1;
}

/* Prints what went wrong on the link and returns 1. */
static int Failed(RfaHandle handle, const char *what, int32_t result) {
    RfaLinkStatus status;
    memset(&status, 0, sizeof status);
    RfaLook(handle, &status, sizeof status);
    fprintf(stderr, "fetch: %s failed: result %d, error %u, value 0x%08x, detail %d\n", what, (int)result,
            (unsigned)status.errorCode, (unsigned)status.errorValue, (int)status.errorDetail);
    return 1;
}

int main(int argc, char **argv) {
    RfaOpenLinkParams params;
    RfaLinkStatus status;
    int32_t result;

    if (argc != 4) {
        fprintf(stderr, "usage: fetch NODE REMOTE LOCAL\n");
        return 2;
    }
    if (strlen(argv[1]) >= sizeof params.nodeName) {
        fprintf(stderr, "fetch: node name too long\n");
        return 2;
    }
    ZelInit(listing, sizeof listing);

    memset(&params, 0, sizeof params);
    strcpy(params.nodeName, argv[1]);
    params.notify = Done;
    result = RfaOpenLink(&params);
    if (result != RFA_OK) {
        Failed(params.handle, "connect", result);
        if (params.handle != 0) RfaCloseLink(params.handle);
        return 1;
    }

    result = RfaDir(params.handle, 0, argv[2]);
    if (result != RFA_OK) {
        Failed(params.handle, "listing", result);
        RfaCloseLink(params.handle);
        return 1;
    }
    printf("%s", listing);

    result = RfaCopy(params.handle, argv[2], argv[3], RFA_COPY_DOWNLOAD, RFA_MODE_IMAGE, NULL);
    if (result != RFA_OK) {
        Failed(params.handle, "copy", result);
        RfaCloseLink(params.handle);
        return 1;
    }
    memset(&status, 0, sizeof status);
    RfaLook(params.handle, &status, sizeof status);
    printf("copied %s to %s: %u bytes\n", argv[2], argv[3], (unsigned)status.bytesTransferred);
    RfaCloseLink(params.handle);
    return 0;
}
