// The control socket: one voxotrope-live per user takes one-line commands
// from `voxotrope-live --send` (the desktop's keys), in
// $XDG_RUNTIME_DIR/voxotrope/, a folder for the user alone.
#pragma once
#include <functional>
#include <string>

struct pw_loop;
struct ControlServer;

// The line that answers a command line.
using CommandHandler = std::function<std::string(const std::string& line)>;

enum ClaimOutcome { ClaimTaken, ClaimRunning, ClaimFailed };

// Claims the user's one instance (a lock beside the socket) and listens on
// the loop; every command gets the handler's answer. ClaimRunning: another
// instance holds the claim, *error names its process.
ControlServer* OpenControlServer(pw_loop* loop, CommandHandler handler, ClaimOutcome* outcome, std::string* error);
// Stops listening and gives the claim up.
void CloseControlServer(ControlServer* server);

enum SendOutcome { SendAnswered, SendNoInstance, SendFailed };

// Hands one command to the running instance and waits for its answer.
SendOutcome SendCommand(const std::string& line, std::string* answer, std::string* error);
