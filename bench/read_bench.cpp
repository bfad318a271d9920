// Times the readers alone on one file: the bytes read, the studies built,
// nothing analysed.
//
//   kappa_read_bench ratings|long|matrix FILE [--id COLUMN] [--by COLUMN]
//
// Prints the read throughput in MB/s (10^6 bytes per second) and, per group,
// the subjects it holds; peak memory comes from GNU time.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "input/study_reader.h"

int main(int argc, char** argv) {
    using namespace kappa;
    const auto format = argc >= 3 ? parseInputFormat(argv[1]) : std::nullopt;
    if (!format) {
        std::fprintf(stderr, "usage: kappa_read_bench ratings|long|matrix FILE [--id COLUMN] [--by COLUMN]\n");
        return 2;
    }
    InputOptions options;
    options.format = *format;
    for (int i = 3; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--id") == 0) options.id = argv[i + 1];
        if (std::strcmp(argv[i], "--by") == 0) options.by = argv[i + 1];
    }
    ByteSource source;
    if (!source.open(argv[2])) {
        std::fprintf(stderr, "kappa_read_bench: %s: %s\n", argv[2], source.error().c_str());
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    const StudiesRead read = readStudies(source, options);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (read.error) {
        std::fprintf(stderr, "kappa_read_bench: %s:%lld: %s\n", argv[2], static_cast<long long>(read.error->line),
                     read.error->message.c_str());
        return 1;
    }
    struct stat info {};
    ::stat(argv[2], &info);
    const double megabytes = static_cast<double>(info.st_size) / 1e6;
    std::printf("%s: %.1f MB in %.3f s: %.0f MB/s; R = %zu, K = %zu\n", argv[2], megabytes, seconds,
                megabytes / seconds, read.input.raters.size(), read.input.labels.size());
    for (const StudyGroup& group : read.groups) {
        std::int64_t incomplete = 0;
        for (const IncompleteSubjects& s : group.study.incomplete) incomplete += s.count;
        std::printf("  group '%s': %lld complete subjects, %lld incomplete\n", group.name.c_str(),
                    static_cast<long long>(completeSubjects(group.study)), static_cast<long long>(incomplete));
    }
    return 0;
}
