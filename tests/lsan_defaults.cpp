// lsan_defaults.cpp - linked, with keep_modules.c, into the sanitized test
// programs that draw with GL in their own process: their leak check at exit
// reads the same suppressions of the GL stack as the program under test gets
// from x_harness (lsan.supp).
extern "C" const char* __lsan_default_options() {
    return "suppressions=" FLUIDS_LSAN_SUPPRESSIONS ":print_suppressions=0";
}
