// The names of the files of a folder (not its subfolders), sorted byte-wise, as the folder
// shows them; empty when the folder cannot be read. On Windows through FindFirstFileA; the
// Linux layer has no search functions, so there the folder's Unix path is read directly.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> FileNamesOf(const std::string& dosFolder);
