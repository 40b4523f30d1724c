#include "live_socket.h"
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <pipewire/loop.h>
#include <cerrno>
#include <cstring>
#include <vector>
#include "voice_library.h"

// Longest command line; a carrier's path makes the longest.
constexpr size_t LineLimit = 4200;
// Clients served at once; a further one makes the oldest give way.
constexpr size_t ClientLimit = 8;
constexpr int AnswerWaitMs = 5000;

struct ControlClient {
    ControlServer* server;
    int fd;
    spa_source* source;
    std::string line;
};

struct ControlServer {
    pw_loop* loop;
    CommandHandler handler;
    int lockFd;
    int listenFd;
    spa_source* listening;
    std::string socketPath;
    std::vector<ControlClient*> clients;
};

static std::string SocketPath()
{
    return RuntimeFolder() + "/live.sock";
}

static bool Fail(std::string* error, const std::string& line)
{
    *error = line;
    return false;
}

// The folder for the user alone: made so, or checked to be so.
static bool PrivateFolder(const std::string& folder, std::string* error)
{
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return Fail(error, "cannot make " + folder + ": " + strerror(errno));
    struct stat info;
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & 077) != 0)
        return Fail(error, folder + " is not a folder for this user alone");
    return true;
}

static bool FillAddress(const std::string& path, sockaddr_un* address, std::string* error)
{
    *address = sockaddr_un{};
    address->sun_family = AF_UNIX;
    if (path.size() >= sizeof address->sun_path)
        return Fail(error, "the socket's path is too long: " + path);
    memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

static void DropClient(ControlClient* client)
{
    ControlServer* server = client->server;
    pw_loop_destroy_source(server->loop, client->source);
    close(client->fd);
    for (size_t i = 0; i < server->clients.size(); i++)
        if (server->clients[i] == client)
            server->clients.erase(server->clients.begin() + static_cast<long>(i));
    delete client;
}

static void Answer(ControlClient* client, const std::string& line)
{
    std::string answer = line + "\n";
    // A short line fits in the socket's buffer at once; a client that
    // cannot take it is not waited for.
    send(client->fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    DropClient(client);
}

static void OnClient(void* data, int fd, uint32_t)
{
    ControlClient* client = static_cast<ControlClient*>(data);
    char bytes[512];
    ssize_t got = read(fd, bytes, sizeof bytes);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (got > 0) {
        client->line.append(bytes, static_cast<size_t>(got));
        size_t end = client->line.find('\n');
        if (end == std::string::npos && client->line.size() <= LineLimit)
            return;
        if (end == std::string::npos)
            return Answer(client, "error: the command is too long");
        client->line.resize(end);
    } else if (client->line.empty()) {
        return DropClient(client);  // gone without a word
    }
    Answer(client, client->server->handler(client->line));
}

static void OnConnect(void* data, int fd, uint32_t)
{
    ControlServer* server = static_cast<ControlServer*>(data);
    int client = accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0)
        return;
    ucred peer;
    socklen_t size = sizeof peer;
    if (getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != getuid()) {
        close(client);
        return;
    }
    if (server->clients.size() >= ClientLimit)
        DropClient(server->clients.front());
    ControlClient* entry = new ControlClient{server, client, nullptr, {}};
    entry->source = pw_loop_add_io(server->loop, client, SPA_IO_IN | SPA_IO_HUP | SPA_IO_ERR, false, OnClient, entry);
    server->clients.push_back(entry);
}

// The claim: an exclusive lock on a file beside the socket, held for the
// process's life and released by the system however it ends. The file
// holds the process's number, for the message of a second instance.
static ClaimOutcome Claim(ControlServer* server, const std::string& folder, std::string* error)
{
    std::string path = folder + "/live.lock";
    server->lockFd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (server->lockFd < 0) {
        *error = "cannot open " + path + ": " + strerror(errno);
        return ClaimFailed;
    }
    if (flock(server->lockFd, LOCK_EX | LOCK_NB) != 0) {
        char pid[32] = {};
        ssize_t got = pread(server->lockFd, pid, sizeof pid - 1, 0);
        std::string number = got > 0 ? std::string(pid, strcspn(pid, "\n")) : "?";
        *error = "another voxotrope-live runs already (process " + number + "): change it with --send";
        return ClaimRunning;
    }
    std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(server->lockFd, 0) != 0 || pwrite(server->lockFd, pid.data(), pid.size(), 0) < 0) {
        // Only the message of a second instance would miss the number.
    }
    return ClaimTaken;
}

ControlServer* OpenControlServer(pw_loop* loop, CommandHandler handler, ClaimOutcome* outcome, std::string* error)
{
    *outcome = ClaimFailed;
    std::string folder = RuntimeFolder();
    if (folder.empty()) {
        *error = "XDG_RUNTIME_DIR is not set";
        return nullptr;
    }
    if (!PrivateFolder(folder, error))
        return nullptr;
    ControlServer* server = new ControlServer{loop, std::move(handler), -1, -1, nullptr, SocketPath(), {}};
    *outcome = Claim(server, folder, error);
    sockaddr_un address;
    if (*outcome == ClaimTaken && FillAddress(server->socketPath, &address, error)) {
        // Whatever is there was left by an instance that is gone: the claim is ours.
        unlink(server->socketPath.c_str());
        server->listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (server->listenFd < 0 || bind(server->listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            chmod(server->socketPath.c_str(), 0600) != 0 || listen(server->listenFd, 16) != 0) {
            *error = "cannot listen on " + server->socketPath + ": " + strerror(errno);
            *outcome = ClaimFailed;
        }
    } else if (*outcome == ClaimTaken) {
        *outcome = ClaimFailed;
    }
    if (*outcome != ClaimTaken) {
        CloseControlServer(server);
        return nullptr;
    }
    server->listening = pw_loop_add_io(loop, server->listenFd, SPA_IO_IN, false, OnConnect, server);
    return server;
}

void CloseControlServer(ControlServer* server)
{
    while (!server->clients.empty())
        DropClient(server->clients.back());
    if (server->listening)
        pw_loop_destroy_source(server->loop, server->listening);
    if (server->listenFd >= 0) {
        unlink(server->socketPath.c_str());
        close(server->listenFd);
    }
    if (server->lockFd >= 0)
        close(server->lockFd);
    delete server;
}

SendOutcome SendCommand(const std::string& line, std::string* answer, std::string* error)
{
    std::string path = SocketPath();
    sockaddr_un address;
    if (RuntimeFolder().empty()) {
        *error = "XDG_RUNTIME_DIR is not set, so no running voxotrope-live can be found";
        return SendNoInstance;
    }
    if (!FillAddress(path, &address, error))
        return SendFailed;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        int why = errno;
        if (fd >= 0)
            close(fd);
        if (why == ENOENT || why == ECONNREFUSED) {
            *error = "no voxotrope-live is running (start it, or voxotrope-live --enable)";
            return SendNoInstance;
        }
        *error = "cannot reach voxotrope-live at " + path + ": " + strerror(why);
        return SendFailed;
    }
    std::string request = line + "\n";
    bool sent = send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
    std::string got;
    char bytes[512];
    pollfd wait = {fd, POLLIN, 0};
    while (sent && got.find('\n') == std::string::npos && poll(&wait, 1, AnswerWaitMs) == 1) {
        ssize_t count = read(fd, bytes, sizeof bytes);
        if (count <= 0)
            break;
        got.append(bytes, static_cast<size_t>(count));
    }
    close(fd);
    if (got.find('\n') == std::string::npos) {
        *error = sent ? "voxotrope-live did not answer" : std::string("cannot send the command: ") + strerror(errno);
        return SendFailed;
    }
    *answer = got.substr(0, got.find('\n'));
    return SendAnswered;
}
