/*
 * A plug-in for the tests, built in several variants (TP_* definitions): it logs every call
 * it receives into a text the test reads through pzvtest_log().
 */
#include "pzv.h"

#include <stdio.h>
#include <string.h>

static char calls_log[4096];
__attribute__((unused)) static intptr_t next_instance = 100;

PZV_EXPORT const char* pzvtest_log(void) {
    return calls_log;
}

PZV_EXPORT void pzvtest_clear(void) {
    calls_log[0] = '\0';
}

static void note(const char* call) {
    strncat(calls_log, call, sizeof calls_log - strlen(calls_log) - 2);
    strncat(calls_log, " ", sizeof calls_log - strlen(calls_log) - 1);
}

PZV_EXPORT void pi_drivername(char* text, size_t size) {
    note("drivername");
    (void)size;
#if defined(TP_LONG_NAME)
    memset(text, 'x', 300);
    text[300] = '\0';
#elif defined(TP_NO_NUL)
    memset(text, 'y', size); /* no NUL anywhere in the buffer */
#else
    snprintf(text, size, "%s", TP_DRIVER);
#endif
}

#ifndef TP_BARE
PZV_EXPORT void pi_friendlyname(char* text, size_t size) {
    note("friendlyname");
    snprintf(text, size, "%s", "Test Card");
}

PZV_EXPORT void pi_create(pzv_instance* instance) {
    note("create");
#ifdef TP_NO_INSTANCE
    *instance = 0;
#else
    *instance = next_instance++;
#endif
}

PZV_EXPORT void pi_destroy(pzv_instance* instance) {
    char text[32];
    snprintf(text, sizeof text, "destroy:%ld", (long)*instance);
    note(text);
}

PZV_EXPORT void pi_sourcefilter(pzv_instance* instance, GstElement** source) {
    (void)instance;
    (void)source;
    note("sourcefilter");
}

PZV_EXPORT void pi_nbfluxvideo(pzv_instance* instance, int32_t* count) {
    (void)instance;
    note("nbfluxvideo");
    *count = 1;
}

PZV_EXPORT void pi_nbfluxaudio(pzv_instance* instance, int32_t* count) {
    (void)instance;
    note("nbfluxaudio");
    *count = 2;
}

#ifndef TP_NO_FORMATS
PZV_EXPORT void pi_getformatnatif(pzv_instance* instance, int32_t* format) {
    (void)instance;
    note("getformatnatif");
    *format = 0x103; /* only the low byte counts */
}

PZV_EXPORT void pi_getformatmux(pzv_instance* instance, int32_t* format) {
    (void)instance;
    note("getformatmux");
    *format = PZV_FORMAT_DV_TYPE2;
}
#endif
#endif
