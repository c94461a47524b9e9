// runtime/os/os.h — what the command line, the capture and the tools need from the operating
// system beyond SDL: files, folders and processes, stop requests (signals, console control),
// process figures and the console. One POSIX side (os_posix.cpp, process_posix.cpp) and one
// Windows side (os_windows.cpp, process_windows.cpp); nothing else in the program says which
// system it runs on.
//
// Paths are UTF-8 on both sides. The Windows side converts them to UTF-16 and uses the wide
// calls, so a user folder named "Jürgen" or "日本" works, and hands out the command line as
// UTF-8 (utf8_arguments) rather than in the ANSI code page.
//
// Failures are reported by the result; where a reason is asked for it is the system's own
// text ("No such file or directory"), fit for "program: PATH: reason". Nothing throws.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace os {

// --- Files and folders -------------------------------------------------------------------

enum class FileKind { kNone, kRegular, kFolder, kOther, kUnknown };  // kOther: device, pipe, ...

// What `path` names. Following links; kUnknown (with `reason`) when it cannot be told.
FileKind file_kind(const std::string& path, std::string* reason = nullptr);

// A new file for writing: fails if anything, a link included, already has the name, so that a
// prepared folder cannot redirect output onto another file. Not inherited by child processes.
std::FILE* create_new_file(const std::string& path, std::string& reason);

// A file for writing that may exist and is then emptied; refused when the name holds anything
// but a regular file (a device, a pipe, a folder), and never opened through a link.
std::FILE* create_or_truncate_file(const std::string& path, std::string& reason);

// Opens an existing file for reading in binary mode; null (with errno set) when it cannot.
std::FILE* open_for_reading(const std::string& path);

// Reads a whole regular file of at most `max_bytes`. A folder, a device or a pipe is refused
// before anything is read from it, and the bound holds even for a file that grows meanwhile.
bool read_regular_file(const std::string& path, size_t max_bytes, std::vector<uint8_t>& bytes,
                       std::string& reason);

// What the name itself holds, a link not followed: kRegular for a regular file and for a link
// (whatever it points at, as a rename onto the name replaces the link alone), kFolder, kOther
// for a device, a pipe or a socket, kNone when nothing has the name.
FileKind entry_kind(const std::string& path);

// Whether two existing paths name one file (by any names).
bool same_file(const std::string& a, const std::string& b);

// Makes a folder; an existing folder of that name is success, anything else of it a failure.
bool make_folder(const std::string& path, std::string& reason);

// Makes a new folder "parent/prefixXXXXXX" that did not exist before; its path in `made`.
bool make_unique_folder(const std::string& parent, const std::string& prefix, std::string& made,
                        std::string& reason);

// The names in a folder, "." and ".." left out, in no particular order.
bool list_folder(const std::string& path, std::vector<std::string>& names, std::string& reason);

bool remove_file(const std::string& path);
bool remove_folder(const std::string& path);  // an empty one

// Renames `from` to `to` on one file system, replacing a file already named `to` (never writing
// through it: a link of that name is replaced, not followed).
bool replace_file(const std::string& from, const std::string& to, std::string& reason);

// Renames a file, link or folder on one file system to a name that nothing has.
bool rename_entry(const std::string& from, const std::string& to, std::string& reason);

// Removes a file, or a folder with everything in it; links are removed, never followed. True
// when nothing has the name afterwards.
bool remove_tree(const std::string& path);

// Moves files into place all or nothing: each pair's first is renamed to its second (on one
// file system), and the names in `remove` go. What the destinations and `remove` held before is
// first moved aside into `keep_folder` (made here, on the same file system; it must not exist).
// When any move fails, every moved file goes back where it came from and everything set aside
// goes back to its name (`restored`), and `reason` names the file that failed. On success, or
// once restored, `keep_folder` is removed; when even restoring failed it is left with what it
// holds.
struct MoveResult {
  bool moved = false;
  bool restored = true;
  std::string reason;
};
MoveResult move_together(const std::vector<std::pair<std::string, std::string>>& moves,
                         const std::vector<std::string>& remove, const std::string& keep_folder);

// The running program's own path; empty when unknown.
std::string executable_path();

// The folder part of a path ("." for a bare name), either separator on Windows.
std::string parent_folder(const std::string& path);

// Whether `path` is absolute (starts at a root or, on Windows, a drive or share).
bool is_absolute(const std::string& path);

// --- Processes and the console -----------------------------------------------------------

// The program's arguments in UTF-8 (on Windows read again from the wide command line).
std::vector<std::string> utf8_arguments(int argc, char** argv);

// A program started by double-click has no console; one started from a console shows its
// output there. Call first thing in main (a no-op where every program has its streams).
void attach_console();

long process_id();
// Whether a process of that id runs (one that ended and was not yet reaped counts as gone on
// neither side: it still holds its id).
bool process_alive(long pid);

bool is_terminal(std::FILE* stream);
void set_environment(const char* name, const char* value);  // a null value removes it

long peak_memory_kb();         // the process's peak resident memory; 0 when unknown
double thread_cpu_ms();        // CPU time of the calling thread
double process_cpu_seconds();  // CPU time of the whole process

// --- Stop requests -----------------------------------------------------------------------
// Ctrl+C, a termination request, or the terminal or console going away. They are numbered as
// POSIX signals on both sides (2 interrupt, 15 terminate, 1 hang-up, 13 broken pipe), so that
// an exit code of 128 + number means the same everywhere.

// From now on, the requests are noted instead of ending the process; a second one ends it at
// once, and so does the first when the program has not ended `grace_seconds` after it (a
// program stuck in a driver or on a child never looks at the note). With `broken_pipe`, a write
// to a closed pipe is noted too (otherwise it just fails; it sets no grace time going).
inline constexpr int kStopGraceSeconds = 20;
void catch_stop_requests(bool broken_pipe = false, int grace_seconds = kStopGraceSeconds);
int stop_request();  // the first request noted, or 0
const char* stop_request_name(int number);
// Ends the process as the request would have (by the signal itself on POSIX, exit code
// 128 + number on Windows).
[[noreturn]] void end_by_stop_request(int number);
// Writes to a closed pipe fail with an error instead of ending the process.
void ignore_broken_pipe();

// Whether an executable of that name is on PATH (on Windows also NAME.exe).
bool program_on_path(const std::string& name);

// A child process whose standard input is a pipe from us; its output goes where ours does. A
// child that stops reading or does not end is not waited for without bound: write() gives up
// after `timeout_ms` without progress and finish() ends the child after its bound.
class PipedProcess {
 public:
  PipedProcess() = default;
  PipedProcess(const PipedProcess&) = delete;
  PipedProcess& operator=(const PipedProcess&) = delete;
  ~PipedProcess();
  bool start(const std::vector<std::string>& arguments, std::string& reason);
  bool write(const void* bytes, size_t size, int timeout_ms);
  // Closes the pipe, waits at most `timeout_ms` for the child (then ends it), returns its exit
  // code (-1 when it did not exit normally or was ended).
  int finish(int timeout_ms);

 private:
  struct State;
  State* state_ = nullptr;
};

struct ProgramResult {
  int exit_code = -1;      // -1: could not be started, did not exit normally, or was ended
  bool timed_out = false;  // ended after `timeout_ms`
  bool stopped = false;    // ended because a stop request came (see `stop_on_request`)
  std::string output;      // standard output and error, when asked for
};

// Runs a program to its end with standard input closed, waiting at most `timeout_ms` (then
// ending it). With `keep_output` its standard output and error are collected instead of
// shown; with `stop_on_request` a stop request noted meanwhile (catch_stop_requests) ends it.
ProgramResult run_program(const std::vector<std::string>& arguments, int timeout_ms, bool keep_output = false,
                          bool stop_on_request = false);

}  // namespace os
