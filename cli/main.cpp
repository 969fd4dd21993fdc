// lumarq-render: the control panel's render, headless, for scripts and batches.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/options.h"
#include "image_io/image_file.h"
#include "lumarq/version.h"
#include "platform/threads/parallel.h"
#include "raster/render.h"
#include "raster/win.h"
#include "settings/settings_file.h"

namespace {

namespace fs = std::filesystem;

void ReportFailure(const std::string& file, const std::string& message) {
    std::cerr << "lumarq-render: " << file << ": " << message << '\n';
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

// Renders (or converts) one input into `output`; returns the error text on failure.
// Lines to print before it (the timing line) go into `notes`.
std::optional<std::string> ProcessOne(const RenderOptions& options, const std::string& input, const std::string& output,
                                      std::string& notes) {
    TWin source(0, 0);
    try {
        image_io::LoadImageFile(input, source);
    } catch (const std::exception& error) {  // the loader's own messages, or running out of memory
        return std::string(error.what());
    }
    const TWin* result = &source;
    TWin work(source.Width(), source.Height());
    if (!options.convert) {
        if (source.HasPixels() && !work.HasPixels()) return std::string(kOutOfMemoryError);
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
    const SaveResult saved =
        image_io::SaveImageFile(*result, output, options.quality ? options.quality : image_io::kDefaultQuality);
    if (!saved) return saved.error;
    return std::nullopt;
}

// Where each input goes. Of several inputs bound for one file only the first
// that succeeds is written; the later ones wait for the report in input order.
struct Job {
    std::string output, key, notes;
    bool waitsForEarlier = false, overwritesInput = false;
    std::optional<std::string> error;
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
    image_io::QuietDecoderWarnings();
    const ParseResult parsed = ParseRenderOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.error) {
        std::cerr << "lumarq-render: " << *parsed.error << '\n';
        return 2;
    }
    const RenderOptions& options = parsed.options;
    if (options.help) {
        std::cout << RenderUsage();
        return 0;
    }
    if (options.version) {
        std::cout << "lumarq-render " << LUMARQ_VERSION << '\n';
        return 0;
    }
    if (options.printSettings) {
        std::cout << SettingsJson(options.settings);
        return 0;
    }

    if (options.threads > 0) {
        parallel::SetThreads(options.threads);
    } else {
        std::string error;
        parallel::ThreadsFromEnvironment(error);
        if (!error.empty()) {
            std::cerr << "lumarq-render: " << error << " (or use --threads)\n";
            return 2;
        }
    }

    std::error_code ignored;
    const bool intoDirectory = fs::is_directory(options.output, ignored);
    if (options.inputs.size() > 1 && !intoDirectory) {
        std::cerr << "lumarq-render: several inputs need -o to name an existing directory (" << options.output
                  << " is not one)\n";
        return 2;
    }
    if (!options.format.empty() && !intoDirectory) {
        std::cerr << "lumarq-render: --format names the type of files written into a directory; " << options.output
                  << " is a file, whose extension chooses its format\n";
        return 2;
    }

    const bool progress = options.inputs.size() > 1 && isatty(STDERR_FILENO);
    std::vector<Job> jobs = PlanJobs(options, intoDirectory);
    std::map<std::string, std::string> claimedOutputs;  // output path -> the input written there
    int failures = 0;
    const auto work = [&](int i) {
        if (!jobs[i].waitsForEarlier && !jobs[i].overwritesInput)
            jobs[i].error = ProcessOne(options, options.inputs[i], jobs[i].output, jobs[i].notes);
    };
    const auto report = [&](int i) {
        Job& job = jobs[i];
        const std::string& input = options.inputs[i];
        if (progress) std::cerr << "\r\x1b[K[" << i + 1 << '/' << options.inputs.size() << "] " << input << std::flush;
        // Two inputs of the same name would overwrite each other's result.
        if (job.overwritesInput)
            job.error = "would overwrite an input; choose another output folder";
        else if (const auto claimed = claimedOutputs.find(job.key); claimed != claimedOutputs.end())
            job.error = "not written: " + job.output + " already holds the result of " + claimed->second;
        else if (job.waitsForEarlier)
            job.error = ProcessOne(options, input, job.output, job.notes);
        if (progress && (job.error || !job.notes.empty())) std::cerr << "\r\x1b[K";
        std::cerr << job.notes;
        if (job.error) {
            ReportFailure(input, *job.error);
            ++failures;
        } else {
            claimedOutputs.emplace(job.key, input);
        }
    };
    RunInInputOrder(static_cast<int>(jobs.size()), options.jobs > 0 ? options.jobs : parallel::Cores(), work, report);
    if (progress) std::cerr << "\r\x1b[K" << options.inputs.size() - failures << '/' << options.inputs.size()
                            << " written\n";
    return failures ? 1 : 0;
}
