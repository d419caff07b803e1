// planexo-pdftext: prints the words of a PDF's text layer with their boxes, page by page, for
// Planexo's PDF reader, which starts it as a separate process so that a hostile file can end only
// this process. Output (UTF-8, one record a line, lengths in hundredths of a point, y down the page):
//   planexo-pdftext 1
//   pages <n>                            or   error locked | error damaged
//   page <number> <width> <height> <words>
//   <x0> <y0> <x1> <y1> <space after: 0|1> <text>
//   ...
//   end
#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#ifdef __unix__
#include <sys/resource.h>
#endif
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

void quiet(const std::string &, void *) {}

long hundredths(double points)
{
    if (!std::isfinite(points)) return 0;
    const double v = std::round(points * 100);
    return long(std::clamp(v, -1e9, 1e9));
}

// The word's text on one line: control characters as blanks, blanks at its ends dropped.
std::string cleaned(const std::vector<char> &utf8)
{
    std::string text(utf8.begin(), utf8.end());
    for (char &c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

int run(const char *path);

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "uso: planexo-pdftext archivo.pdf\n");
        return 2;
    }
#ifdef __unix__
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
#endif
#ifdef _WIN32
    // Windows has no limit a parent sets before the start: the helper puts itself in a job that
    // caps its memory at what the reader asks (on Linux the reader sets RLIMIT_AS).
    if (const char *limit = std::getenv("PLANEXO_PDFTEXT_MEMORY")) {
        if (HANDLE job = CreateJobObjectW(nullptr, nullptr)) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
            info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY;
            info.ProcessMemoryLimit = SIZE_T(std::strtoull(limit, nullptr, 10));
            if (info.ProcessMemoryLimit > 0)
                SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info);
            AssignProcessToJobObject(job, GetCurrentProcess());
        }
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    // The protocol's lines end in '\n' alone.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    try {
        return run(argv[1]);
    } catch (const std::bad_alloc &) {
        // The reader names the limit from this code.
        std::_Exit(86);
    }
}

int run(const char *path)
{
    poppler::set_debug_error_function(quiet, nullptr);
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    std::fputs("planexo-pdftext 1\n", stdout);
#ifdef _WIN32
    // The path as Windows gives it, whatever the code page: the file is read here and handed over.
    (void)path;
    int count = 0;
    LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count);
    static std::vector<char> bytes;
    if (FILE *file = wide && count == 2 ? _wfopen(wide[1], L"rb") : nullptr) {
        char chunk[1 << 16];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(file);
    }
    if (wide) LocalFree(wide);
    std::unique_ptr<poppler::document> doc(
        bytes.empty() ? nullptr : poppler::document::load_from_raw_data(bytes.data(), int(bytes.size())));
#else
    std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(path));
#endif
    if (!doc) {
        std::fputs("error damaged\n", stdout);
        return 0;
    }
    if (doc->is_locked()) {
        std::fputs("error locked\n", stdout);
        return 0;
    }
    const int pages = doc->pages();
    std::printf("pages %d\n", pages);
    std::string out;
    for (int i = 0; i < pages; ++i) {
        std::unique_ptr<poppler::page> page(doc->create_page(i));
        if (!page) {
            std::fputs("error damaged\n", stdout);
            return 0;
        }
        const poppler::rectf box = page->page_rect();
        int words = 0;
        out.clear();
        for (const poppler::text_box &word : page->text_list()) {
            if (word.rotation() != 0) continue;
            const std::string text = cleaned(word.text().to_utf8());
            if (text.empty()) continue;
            const poppler::rectf b = word.bbox();
            char numbers[96];
            std::snprintf(numbers, sizeof numbers, "%ld %ld %ld %ld %d ", hundredths(b.left()),
                          hundredths(b.top()), hundredths(b.right()), hundredths(b.bottom()),
                          word.has_space_after() ? 1 : 0);
            out += numbers;
            out += text;
            out += '\n';
            ++words;
        }
        std::printf("page %d %ld %ld %d\n", i + 1, hundredths(box.width()), hundredths(box.height()), words);
        std::fwrite(out.data(), 1, out.size(), stdout);
        // Each page goes out as it is read: the reader shows the progress.
        std::fflush(stdout);
    }
    std::fputs("end\n", stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
