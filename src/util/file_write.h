// SPDX-License-Identifier: MIT
// The pictures the program writes are served by a web server while the next run rewrites them,
// and the program runs unattended for years. So a file is never written in place: its bytes go
// to a new temporary file in the same folder, which is then renamed over the final name. A
// reader sees the old file or the new one, never a part of one, and a failed write leaves the
// old file as it was and no temporary file behind. Every write, the close and the rename are
// checked.
//
// Several writers may share a folder: two stations' runs writing one picture folder, root's run
// and the service's. So each writer's temporary file has a name of its own, one name a folder,
// made from the identity of the run lock it holds (util/run_lock.h): runs that share that name
// share the lock and never write at the same time, and runs that do not share the lock never
// share the name, so no writer's rename can move another's file. A run killed in the middle of
// a write leaves at most that one file a folder, which the next run of its station removes.
//
// Some file systems that hold files well enough refuse what this needs: a FAT disk through FUSE
// refuses hard links and truncating an open file, others renaming over a file. Each refusal has
// another way that still writes the file whole and leaves no other file behind.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace norvane {

// Names the temporary files of this process's writes after `writer` (the identity of the run
// lock it holds); until it is called, they are named after the process.
void name_temporary_files_after(const std::string& writer);

// What went wrong with a file, for the operator's message.
struct FileError {
  // Whether the cause lies with the folder (it is missing, not writable, full), so that every
  // file written there fails alike, or with the file itself.
  enum class Scope { folder, file };
  Scope scope = Scope::file;
  std::string path;    // the folder (ending in "/") or the file
  std::string reason;  // the system's reason, such as "No such file or directory"
};

// The system's text for an errno value, or for not_a_regular_file, too_few_lines and
// larger_than_a_measurement (util/input_file.h).
std::string error_text(int error_number);

// The folder part of `path`, up to and including its last "/"; "./" when it has none.
std::string folder_of(const std::string& path);

// The temporary file through which this process writes `path`: its own in that folder,
// ".norvane_foF2.<writer>.tmp".
std::string temporary_path_for(const std::string& path);
// The temporary file that the runs of `writer` use in `folder` (ending in "/").
std::string temporary_path_in(const std::string& folder, const std::string& writer);

// Writes `bytes` as the complete new content of `path`.
std::optional<FileError> write_file_atomically(const std::string& path,
                                               std::span<const unsigned char> bytes);

// As write_file_atomically, except that a regular file `path` that already holds exactly
// `bytes` is kept: only its modification time is renewed, as if it had just been written. Most
// pictures of a run are of finished days and come out the same run after run; keeping them
// spares the disk a new file, a rename and a freed file every few minutes. A link at `path` is
// always replaced, as write_file_atomically does. `*kept`, when given, tells whether the file
// was kept.
std::optional<FileError> update_file_atomically(const std::string& path,
                                                std::span<const unsigned char> bytes,
                                                bool* kept = nullptr);

// Renews the modification time of the regular file `path`, as update_file_atomically does for
// a file it keeps, if the file is `size` bytes long and its bytes have the digest `digest`
// (util/digest.h, digest_of); returns whether it did. A link is never followed.
bool touch_if_digest(const std::string& path, std::uint64_t size, std::uint64_t digest);

// As write_file_atomically, for a small file that every run rewrites (the run record, the
// metrics): a reader still sees the old file or the new one, never a part of one. Replacing a
// file frees the old one's blocks, and on a file system mounted with online discard that alone
// costs about half a millisecond, a twentieth of a whole run. So two hidden files of this
// writer's own beside `path` take turns, ".<name>.<writer>.1" and ".2": the new content is
// written into the one that `path` is not, and `path` is then renamed to it through a second
// name, which frees nothing since the other turn keeps its own name. A reader that held the
// file open for two runs could see the content change; a file of a few KB is read at once.
// Where hard links cannot be made, the file is written as write_file_atomically writes it.
std::optional<FileError> write_file_by_turns(const std::string& path,
                                             std::span<const unsigned char> bytes);

// Deletes the file at `path`; one that is gone already is no failure.
std::optional<FileError> remove_file(const std::string& path);

// Deletes the temporary files that a killed run of `writer` may have left in `folder` (ending
// in "/"); what is gone already is no failure.
void remove_temporaries_in(const std::string& folder, const std::string& writer);

// The calls through which files are replaced, which some file systems refuse. Tests choose
// ones that refuse, as such a file system does; the program never changes them.
struct FileSystemCalls {
  int (*ftruncate)(int fd, off_t size);
  int (*link)(const char* from, const char* to);
  int (*rename)(const char* from, const char* to);
};
void use_file_system_calls(const FileSystemCalls& chosen);

}  // namespace norvane
