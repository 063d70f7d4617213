// A control library that only reports an interface version and a charset,
// taken from VELDAN_FAKE_CONTROL ("major.minor.charset"), so that the
// program's binding checks can be tried against a refused library.
#include <cstdio>
#include <cstdlib>

namespace {
void Read(int& major, int& minor, int& charset) {
    major = 1, minor = 5, charset = 1;
    if (const char* v = std::getenv("VELDAN_FAKE_CONTROL")) std::sscanf(v, "%d.%d.%d", &major, &minor, &charset);
}
}  // namespace

extern "C" __attribute__((visibility("default"))) void VELDANcontrol_version(int* major, int* minor, int* build) {
    int a, b, c;
    Read(a, b, c);
    if (major) *major = a;
    if (minor) *minor = b;
    if (build) *build = 0;
}

extern "C" __attribute__((visibility("default"))) int VELDANcontrol_charset() {
    int a, b, c;
    Read(a, b, c);
    return c;
}
