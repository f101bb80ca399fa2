// Built into the tool under AddressSanitizer only: fontconfig, which libvips'
// text renderer uses for the contact sheet's labels, keeps its configuration
// for the life of the process and loses track of some of it while parsing;
// those blocks are fontconfig's, not ours, and would otherwise fail every
// sanitized run that sets a label.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
