#include "render_output.h"
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The temporary file's name for the signal handler, which may only make
// async-signal-safe calls.
static char PendingTemporary[4096];

static void RemoveAndStop(int signal)
{
    if (PendingTemporary[0])
        unlink(PendingTemporary);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

static std::string FolderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool CreateOutput(const char* path, RenderOutput* output, std::string* error)
{
    *output = RenderOutput{nullptr, path, FolderOf(path) + "/.voxotrope-render.XXXXXX"};
    struct stat existing;
    if (stat(path, &existing) == 0 && S_ISDIR(existing.st_mode)) {
        *error = "is a folder";
        return false;
    }
    if (output->temporary.size() >= sizeof PendingTemporary) {
        *error = "path too long";
        return false;
    }
    int fd = mkstemp(output->temporary.data());
    if (fd < 0) {
        *error = strerror(errno);
        output->temporary.clear();
        return false;
    }
    // mkstemp makes the file private; give it the mode a new file would get.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);

    strcpy(PendingTemporary, output->temporary.c_str());
    signal(SIGINT, RemoveAndStop);
    signal(SIGTERM, RemoveAndStop);
    signal(SIGHUP, RemoveAndStop);

    SF_INFO info{};
    info.samplerate = 22050;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    output->file = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!output->file) {
        *error = sf_strerror(nullptr);
        close(fd);
        AbandonOutput(output);
        return false;
    }
    return true;
}

bool WriteOutput(RenderOutput* output, const int16_t* samples, long count, std::string* error)
{
    if (sf_write_short(output->file, samples, count) == count)
        return true;
    *error = sf_strerror(output->file);
    return false;
}

bool CommitOutput(RenderOutput* output, std::string* error)
{
    int closed = sf_close(output->file);
    output->file = nullptr;
    if (closed != 0) {
        *error = sf_error_number(closed);
        AbandonOutput(output);
        return false;
    }
    if (rename(output->temporary.c_str(), output->path.c_str()) != 0) {
        *error = strerror(errno);
        AbandonOutput(output);
        return false;
    }
    PendingTemporary[0] = '\0';
    output->temporary.clear();
    return true;
}

void AbandonOutput(RenderOutput* output)
{
    if (output->file)
        sf_close(output->file);
    output->file = nullptr;
    if (!output->temporary.empty())
        unlink(output->temporary.c_str());
    PendingTemporary[0] = '\0';
    output->temporary.clear();
}
