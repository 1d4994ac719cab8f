/* The public header as a C99 program sees it: the records have their
 * documented sizes and offsets, and the entry points link against the
 * shared library and answer argument errors without a server. */
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "zel32.h"

static int failures = 0;

#define CHECK(cond)                                                      \
    do {                                                                 \
        if (!(cond)) {                                                   \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            failures++;                                                  \
        }                                                                \
    } while (0)

static int32_t notify(uint32_t handle, uint32_t status, intptr_t spool, const char *text) {
    (void)handle; (void)status; (void)spool; (void)text;
    return 0;
}

int main(void) {
    RfaOpenLinkParams params;
    unsigned char status[552];
    char list[64];

    CHECK(sizeof(RfaLinkStatus) == 552);
    CHECK(offsetof(RfaLinkStatus, errorValue) == 4);
    CHECK(offsetof(RfaLinkStatus, errorDetail) == 8);
    CHECK(offsetof(RfaLinkStatus, copyMode) == 528);
    CHECK(offsetof(RfaLinkStatus, localFileSizeKnown) == 540);
    CHECK(sizeof(RfaCopyAttributes) == 12);
    CHECK(offsetof(RfaCopyAttributes, allocation) == 8);
    CHECK(sizeof(RfaProtectionRecord) == 276);
    CHECK(offsetof(RfaProtectionRecord, world) == 272);
    CHECK(offsetof(RfaOpenLinkParams, nodeName) == 4);

    CHECK(ZelInit(list, sizeof list) == 1);
    CHECK(RfaListen() == -1);
    CHECK(RfaLook(1, status, sizeof status) == 4); /* no link open */
    CHECK(RfaDelete(0, "A.TXT") == 4);
    CHECK(RfaAbort(0) == -1);

    memset(&params, 0, sizeof params);
    params.notify = notify; /* empty node name: refused */
    CHECK(RfaOpenLink(&params) == 4);

    if (failures != 0) return 1;
    printf("ok\n");
    return 0;
}
