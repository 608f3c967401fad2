#pragma once

#include <string>

namespace vidorel {

// The user's folders as the desktop names them (XDG user dirs: $XDG_CONFIG_HOME/user-dirs.dirs,
// e.g. XDG_VIDEOS_DIR="$HOME/Videos"). Videos and pictures fall back to documents, documents
// to $HOME. No trailing "/".
std::string UserVideosFolder();
std::string UserPicturesFolder();
std::string UserDocumentsFolder();
std::string HomeFolder();
// $XDG_DATA_HOME (~/.local/share when unset).
std::string UserDataFolder();

// Folder of the running executable, without a trailing "/".
std::string ExecutableFolder();
std::string ExecutablePath();

} // namespace vidorel
