// The font library keeps its configuration for the life of the process; the
// leak checker of the sanitizer build is told so (the window layer loads it
// for the progress dialog).
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
