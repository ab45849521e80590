// Compiled into the tests of the address-sanitizer builds only: LeakSanitizer's defaults,
// read when the process starts, so they hold however the test is run (ctest, the binary
// alone, a debugger). LSAN_OPTIONS still adds to them or overrides them.
extern "C" const char* __lsan_default_options()
{
    // Leaks inside the ODBC drivers and the libraries they load are not ours to fix.
    return "suppressions='" ORVIX_LSAN_SUPPRESSIONS "'";
}
