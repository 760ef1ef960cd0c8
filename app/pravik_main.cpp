// Pravik: the checker window.

#include "Pravik_MAIN.h"
#include "pravik_startup.h"

#include "platform/widgets/application.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#if defined(__linux__) && defined(__GLIBC__)
#include <climits>
#include <unistd.h>
#endif

namespace {

const char kHelp[] = "Usage: pravik [OPTION]... [FILE]\n"
                     "Opens a window that checks SEPA payment files (pain.001.001.09 credit transfers,\n"
                     "pain.008.001.08 direct debits) against the German banks' validation schemas and\n"
                     "against the SEPA rules a schema cannot express; a FILE is opened and checked at once.\n"
                     "The schema report lists every schema error; the page \"SEPA-Regeln\" lists the rules'\n"
                     "findings, each with its code and severity.\n"
                     "\n"
                     "Options:\n"
                     "  -h, --help      show this help and exit\n"
                     "  --version       show the version and exit\n"
                     "  --              the next argument is the file, even one that begins with '-'\n"
                     "The options of the Qt toolkit (for example -platform offscreen) are taken as well.\n"
                     "\n"
                     "Exit status: 0 when the window was closed, 1 when it could not be started.\n"
                     "For scripts and pipelines see pravik-check(1).\n";

// Help and version need no display: they are answered before the toolkit starts.
std::optional<int> answerWithoutWindow(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            break;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("pravik %s\n", PRAVIK_VERSION);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    return std::nullopt;
}

#if defined(__linux__) && defined(__GLIBC__)
// A large file passes through large fresh blocks: the editor's text and its styles take twice the
// file's size, filled while the file is validated. Filled in 4 KiB pages, they cost the processors
// about as much as the validation itself; in huge pages a fraction of it. glibc backs its large
// blocks with huge pages (where the system grants them on request) only when told so as the
// process starts: the window starts once more, told. A user's own setting of it is kept, as is the
// process when it cannot start again.
void startAgainWithHugePages(char *argv[])
{
    constexpr char kName[] = "GLIBC_TUNABLES";
    constexpr char kTunable[] = "glibc.malloc.hugetlb";
    const char *given = std::getenv(kName);
    if (given && std::strstr(given, kTunable))
        return;
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return;
    self[length] = '\0';
    const std::string before = given ? given : "";
    const std::string told = (before.empty() ? before : before + ':') + kTunable + "=1";
    if (setenv(kName, told.c_str(), 1) != 0)
        return;
    execv(self, argv);
    if (given)
        setenv(kName, before.c_str(), 1);
    else
        unsetenv(kName);
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    if (const std::optional<int> answered = answerWithoutWindow(argc, argv))
        return *answered;
#if defined(__linux__) && defined(__GLIBC__)
    startAgainWithHugePages(argv);
#endif
    return RunPravik(argc, argv, [] {
        try {
            TPravik_MAIN_Form form;
            form.show();
            return TApplication::exec();
        } catch (...) {
            // The window could not be built (for example a broken form resource): say so and stop.
            TApplication::HandleException();
            return 1;
        }
    });
}
