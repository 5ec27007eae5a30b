#pragma once
// The one way this program writes its output files.
//
// A file is written whole or not at all: the bytes go to a new temporary file beside the
// target (a unique name made by mkstemp, created exclusively, so a planted symlink is never
// followed), are flushed to the disk with fsync, and the temporary file is then renamed over
// the target, which keeps the target's permission bits. When anything fails the temporary
// file is removed and an existing target stays exactly as it was.
//
// What the name leads to decides the way: a symbolic link is followed to its target, which
// is replaced as above beside itself (the link keeps pointing at the new content); a FIFO,
// a character device (/dev/null, a terminal) or one of the process's own descriptors
// (/dev/stdout, /dev/fd/N) is written in place as a stream, never renamed over; any other
// kind (a directory, socket, block device) and an empty name are refused with the reason.
//
// Growing files (the conversion log) are appended to with appendToFile, which reports a
// failed or short write instead of losing it silently.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace evkit {

// Writes `contents` as the file `path`. False when the file could not be written; `error`
// (when given) then says why in words ("No space left on device").
bool writeFileAtomically(const std::string& path, std::string_view contents,
                         std::string* error = nullptr);

// For writers that can only write to a file name of their own (image and document
// exporters): `produce` is given the name of a fresh temporary file beside `path`, ending in
// `suffix` (for example ".png"), writes it completely and returns true; the file is then
// flushed and renamed over `path` as above. False (temporary file removed) when `produce`
// fails or the file cannot be committed.
bool writeFileAtomicallyWith(const std::string& path, const std::string& suffix,
                             const std::function<bool(const std::string& tempPath)>& produce,
                             std::string* error = nullptr);

// Appends `text` to `path` (created when missing). False, with `error` set, when the file
// cannot be opened or not every byte was written.
bool appendToFile(const std::string& path, std::string_view text, std::string* error = nullptr);

// Test seam standing in for a full disk: once `bytes` further bytes have been written by
// the functions above, every later write fails with "No space left on device" until
// clearInjectedWriteFailure(). injectWriteFailure(0) fails the very next write.
void injectWriteFailure(std::size_t bytes);
void clearInjectedWriteFailure();

// The text "Unable to write the file "PATH": WHY" that the program shows for a failed write.
std::string fileWriteErrorText(const std::string& path, const std::string& why);

}  // namespace evkit
