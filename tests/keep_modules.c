/* keep_modules.c - in the sanitized build, preloaded into the fluids program
 * under test and linked into the tests that draw with GL in their own
 * process.
 *
 * Mesa loads its driver (swrast_dri.so) with dlopen and unloads it while the
 * process exits, before the leak check runs. Leaks inside the driver are then
 * reported from "<unknown module>", which no suppression can name, so they
 * would have to be accepted wholesale or not at all. With dlclose doing
 * nothing every library stays mapped until the end, its leaks carry its name
 * and lsan.supp suppresses exactly those libraries. Nothing else changes:
 * unloading is the only thing dlclose would have done. */
int dlclose(void* handle) {
    (void)handle;
    return 0;
}
