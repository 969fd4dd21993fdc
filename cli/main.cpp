// lumarq-render: the control panel's render, headless, for scripts and batches.
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/animation.h"
#include "cli/batch.h"
#include "cli/library_messages.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "image_io/image_file.h"
#include "motion/export.h"
#include "motion/video_input.h"
#include "lumarq/version.h"
#include "platform/text/quote.h"
#include "platform/threads/parallel.h"
#include "raster/render.h"
#include "raster/win.h"
#include "settings/settings_file.h"

namespace {

namespace fs = std::filesystem;

using platform::text::Printable;
using platform::text::ShellQuoted;

// A usage message as the parser words it, with every word of the command line that
// holds a control byte or is not UTF-8 (and either side of its '=') quoted as a
// file name is.
std::string ShownUsageError(std::string message, const std::vector<std::string>& words) {
    std::vector<std::string> hostile;
    for (const std::string& word : words) {
        hostile.push_back(word);
        if (const auto equals = word.find('='); equals != std::string::npos) {
            hostile.push_back(word.substr(0, equals));
            hostile.push_back(word.substr(equals + 1));
        }
    }
    std::erase_if(hostile, [](const std::string& word) { return word.empty() || Printable(word) == word; });
    // Longest first, so that a word is replaced whole rather than by a part of it.
    std::sort(hostile.begin(), hostile.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
    const auto replace = [&message](const std::string& what, const std::string& with) {
        for (std::size_t at = 0; (at = message.find(what, at)) != std::string::npos; at += with.size())
            message.replace(at, what.size(), with);
    };
    for (const std::string& word : hostile) {
        replace("'" + word + "'", ShellQuoted(word));  // the parser's own quotes around a value
        replace(word, ShellQuoted(word));
    }
    return Printable(message);
}

// A temporary file of ours, removed when done with.
struct TemporaryFile {
    std::string path;
    bool created = false;
    explicit TemporaryFile(const std::string& suffix) {
        const char* folder = std::getenv("TMPDIR");
        path = std::string(folder && *folder ? folder : "/tmp") + "/lumarq-render-XXXXXX" + suffix;
        const int descriptor = ::mkostemps(path.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
        created = descriptor >= 0;
        if (created) ::close(descriptor);
    }
    ~TemporaryFile() {
        if (created) ::unlink(path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
};

// Writes all of `count` bytes to a descriptor; false with errno set when it cannot.
bool WriteAll(int descriptor, const char* data, std::size_t count) {
    while (count > 0) {
        const ssize_t done = ::write(descriptor, data, count);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        data += done;
        count -= static_cast<std::size_t>(done);
    }
    return true;
}

// Standard input, for the loader that reads files: copied whole into a temporary
// file, up to the largest file an image could need.
std::optional<Failure> CopyStandardInput(const std::string& path) {
    constexpr std::uint64_t kMostBytes = std::uint64_t{4} << 30;
    const int out = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (out < 0) return Failure{path, "Cannot create file " + path, std::strerror(errno)};
    std::vector<char> buffer(1 << 20);
    std::uint64_t total = 0;
    std::optional<Failure> failure;
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) failure = Failure{"-", "Stream read error", std::strerror(errno)};
        if (got <= 0) break;
        total += static_cast<std::uint64_t>(got);
        if (total > kMostBytes) {
            failure = Failure{"-", "standard input holds more than 4 GiB, more than any image needs"};
            break;
        }
        if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(got))) {
            failure = Failure{path, "Stream write error", std::strerror(errno)};
            break;
        }
    }
    ::close(out);
    return failure;
}

// Saves through a temporary file of the output's format and copies it to standard
// output, so the bytes are those a file of that name would hold.
SaveResult SaveToStandardOutput(const TWin& image, const std::string& format, int quality) {
    const TemporaryFile file("." + format);
    if (!file.created) return {false, "Cannot create file " + file.path, std::strerror(errno)};
    SaveResult saved = image_io::SaveImageFile(image, file.path, quality);
    if (!saved) return saved;
    const int in = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return {false, "Stream write error", std::strerror(errno)};
    std::vector<char> buffer(1 << 20);
    int failure = 0;
    for (;;) {
        errno = 0;
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) failure = errno;
        if (got > 0 && !WriteAll(STDOUT_FILENO, buffer.data(), static_cast<std::size_t>(got))) failure = errno ? errno : EIO;
        if (got <= 0 || failure) break;
    }
    ::close(in);
    if (failure) return {false, "Stream write error", std::strerror(failure)};
    return {};
}

// A file as the file system knows it, whatever path names it.
struct FileIdentity {
    dev_t device;
    ino_t inode;
    bool operator<(const FileIdentity& other) const {
        return device != other.device ? device < other.device : inode < other.inode;
    }
};
std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

// The key under which an output is claimed: its canonical path, or, where that
// cannot be had, its absolute path as written, so that one odd path never makes
// every later output look taken.
std::string OutputKey(const std::string& output) {
    std::error_code error;
    fs::path key = fs::weakly_canonical(output, error);
    if (error || key.empty()) key = fs::absolute(output, error).lexically_normal();
    if (error || key.empty()) key = output;
    return key.string();
}

// Loads one input ("-": standard input) as the render's source.
std::optional<Failure> LoadInput(const std::string& input, TWin& source) {
    try {
        const bool standardInput = input == "-";
        std::optional<TemporaryFile> copy;
        if (standardInput) {
            copy.emplace("");
            if (!copy->created) return Failure{copy->path, "Cannot create file " + copy->path, std::strerror(errno)};
            if (auto failure = CopyStandardInput(copy->path)) return failure;
        }
        TakeLibraryMessages();  // only what this load prints
        // A still from a video is its first frame, upright.
        if (!standardInput && motion::LooksLikeVideo(input))
            motion::ReadFirstFrame(input, source);
        else
            image_io::LoadImageFile(standardInput ? copy->path : input, source);
        // An empty file loads as an empty picture, and there is nothing to render or write.
        if (!source.HasPixels()) return Failure{input, standardInput ? "standard input is empty" : "the file is empty"};
    } catch (const std::exception& error) {  // the loader's own messages, or running out of memory
        return LoadFailure(input, error);
    }
    return std::nullopt;
}

// Renders (or converts) one input into `output` ("-": standard input, standard
// output); on failure says what went wrong and with which file. Lines to print
// before it (the timing line) go into `notes`.
std::optional<Failure> ProcessOne(const RenderOptions& options, const std::string& input, const std::string& output,
                                  std::string& notes) {
    if (options.videoInput && motion::OutputKindFor(output) != motion::OutputKind::Still)
        return RenderVideoInBatch(options, input, output, notes);
    TWin source(0, 0);
    if (auto failure = LoadInput(input, source)) return failure;
    const TWin* result = &source;
    TWin work(source.Width(), source.Height());
    if (!options.convert) {
        if (source.HasPixels() && !work.HasPixels()) return Failure{input, kOutOfMemoryError};
        std::vector<double> times;
        const int runs = std::max(1, options.repeat);
        for (int run = 0; run < runs; ++run) {
            const auto start = std::chrono::steady_clock::now();
            RenderPipeline(work, source, options.settings);
            times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        if (options.repeat > 0) {
            std::sort(times.begin(), times.end());
            const std::size_t n = times.size();
            const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
            char line[160];
            std::snprintf(line, sizeof line, "render_ms median=%.3f min=%.3f max=%.3f n=%zu\n", median, times.front(),
                          times.back(), n);
            notes += line;
        }
        result = &work;
    }
    TWin enlarged(0, 0);
    if (options.scale > 1) {
        motion::Enlarge(*result, options.scale, enlarged);
        if (!enlarged.HasPixels()) return Failure{input, kOutOfMemoryError};
        result = &enlarged;
    }
    const int quality = options.quality ? options.quality : image_io::kDefaultQuality;
    const SaveResult saved = output == "-" ? SaveToStandardOutput(*result, options.format, quality)
                                           : image_io::SaveImageFile(*result, output, quality);
    if (!saved) return Failure{output, saved.error, saved.reason};
    return std::nullopt;
}

// Where each input goes. Of several inputs bound for one file only the first
// that succeeds is written; the later ones wait for the report in input order.
struct Job {
    std::string output, key, notes;
    bool waitsForEarlier = false, overwritesInput = false;
    std::optional<Failure> error;
};

std::vector<Job> PlanJobs(const RenderOptions& options, bool intoDirectory) {
    // Written into a folder, a result must never replace one of the inputs: they are
    // all known before the first output is written.
    std::set<FileIdentity> inputFiles;
    if (intoDirectory)
        for (const std::string& input : options.inputs)
            if (const auto identity = IdentityOf(input)) inputFiles.insert(*identity);
    std::vector<Job> jobs(options.inputs.size());
    std::set<std::string> keys;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        jobs[i].output = options.output;
        if (intoDirectory) {
            fs::path name = fs::path(options.inputs[i]).filename();
            if (!options.format.empty()) name.replace_extension(options.format);
            jobs[i].output = (fs::path(options.output) / name).string();
        }
        jobs[i].key = OutputKey(jobs[i].output);
        const auto outputFile = intoDirectory ? IdentityOf(jobs[i].output) : std::nullopt;
        jobs[i].overwritesInput = outputFile && inputFiles.count(*outputFile);
        jobs[i].waitsForEarlier = !keys.insert(jobs[i].key).second;
    }
    return jobs;
}

}  // namespace

int main(int argc, char** argv) {
    // An export's frames and the encoders' buffers come and go by the megabyte.
    // With glibc's sliding threshold they end up inside the heap, which keeps its
    // highest size; fixed at 1 MB, each goes back to the system when freed.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    CaptureLibraryMessages();
    image_io::QuietDecoderWarnings();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParseResult parsed = ParseRenderOptions(arguments);
    const auto usageError = [&](const std::string& message) {
        std::cerr << "lumarq-render: " << ShownUsageError(message, arguments) << '\n';
        return 2;
    };
    if (parsed.error) return usageError(*parsed.error);
    const RenderOptions& options = parsed.options;
    if (options.help) {
        std::cout << RenderUsage();
        return 0;
    }
    if (options.version) {
        std::cout << "lumarq-render " << LUMARQ_VERSION << '\n' << LUMARQ_LICENSE_NOTICE;
        return 0;
    }
    if (options.printSettings) {
        std::cout << SettingsJson(options.settings, options.to);
        return 0;
    }

    if (options.threads > 0) {
        parallel::SetThreads(options.threads);
    } else {
        std::string error;
        parallel::ThreadsFromEnvironment(error);
        if (!error.empty()) {
            const char* value = std::getenv("LUMARQ_THREADS");
            std::cerr << "lumarq-render: " << ShownUsageError(error, {value ? value : ""}) << " (or use --threads)\n";
            return 2;
        }
    }

    std::error_code ignored;
    const bool toStandardOutput = options.output == "-";
    const bool intoDirectory = !toStandardOutput && fs::is_directory(options.output, ignored);
    if (options.inputs.size() > 1 && !intoDirectory)
        return usageError("several inputs need -o to name an existing directory (" + ShellQuoted(options.output) +
                          " is not one)");
    if (!options.format.empty() && !intoDirectory && !toStandardOutput)
        return usageError("--format names the type of files written into a directory; " + ShellQuoted(options.output) +
                          " is a file, whose extension chooses its format");
    if (intoDirectory && options.inputs.front() == "-")
        return usageError("standard input (-) has no name to write under in a directory: give -o a file name");
    if (options.videoInput && !intoDirectory && !toStandardOutput &&
        motion::OutputKindFor(options.output) != motion::OutputKind::Still)
        return RenderVideo(options);
    if (options.frames > 0) {
        TWin source(0, 0);
        if (const auto failure = LoadInput(options.inputs.front(), source)) {
            ReportFailure(*failure);
            return 1;
        }
        return RenderAnimation(options, source);
    }

    // More than one input: a progress bar while they go on a terminal, and the count
    // of written and failed at the end.
    const std::size_t total = options.inputs.size();
    BatchProgress progress(total, total > 1 && isatty(STDERR_FILENO));
    std::vector<Job> jobs = PlanJobs(options, intoDirectory);
    std::map<std::string, std::string> claimedOutputs;  // output path -> the input written there
    std::size_t failures = 0;
    const auto work = [&](int i) {
        if (!jobs[i].waitsForEarlier && !jobs[i].overwritesInput)
            jobs[i].error = ProcessOne(options, options.inputs[i], jobs[i].output, jobs[i].notes);
    };
    const auto report = [&](int i) {
        Job& job = jobs[i];
        const std::string& input = options.inputs[i];
        // Two inputs of the same name would overwrite each other's result.
        if (job.overwritesInput)
            job.error = Failure{input, "would overwrite an input; choose another output folder"};
        else if (const auto claimed = claimedOutputs.find(job.key); claimed != claimedOutputs.end())
            job.error = Failure{input, "not written: " + ShellQuoted(job.output) + " already holds the result of " +
                                           ShellQuoted(claimed->second)};
        else if (job.waitsForEarlier)
            job.error = ProcessOne(options, input, job.output, job.notes);
        if (job.error || !job.notes.empty()) progress.Clear();
        std::cerr << job.notes;
        if (job.error) {
            ReportFailure(*job.error);
            ++failures;
        } else {
            claimedOutputs.emplace(job.key, input);
        }
        progress.Advance(job.error.has_value());
    };
    RunInInputOrder(static_cast<int>(jobs.size()), options.jobs > 0 ? options.jobs : parallel::Cores(), work, report);
    progress.Clear();
    if (total > 1) std::cerr << "lumarq-render: " << total - failures << " written, " << failures << " failed\n";
    return failures ? 1 : 0;
}
