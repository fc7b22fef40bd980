// Profile (INI) files: sections in square brackets holding key=value lines.
#pragma once
#include <string>

#include "platform/win/types.h"

namespace vx::win {

// Copies the value (or the default when the file, section or key is missing) into buffer,
// cut to size - 1 characters and NUL-terminated; returns the number of characters copied.
// Section and key names match without regard to case; blanks around the value and one pair of
// enclosing quotes are removed.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer, DWORD size,
                               const char* fileName);
// Sets a key, adding the section and the file when they are missing; other lines are kept.
// A null value deletes the key; a null key deletes the whole section.
BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* fileName);

// The same two in std::string form.
std::string ReadProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                              const std::string& fileName);
bool WriteProfileString(const std::string& section, const std::string& key, const std::string& value,
                        const std::string& fileName);

// The per-user profile, Windows' "WIN.INI": $XDG_CONFIG_HOME/vorlix/WIN.INI (an absolute
// XDG_CONFIG_HOME only), else $HOME/.config/vorlix/WIN.INI; empty when neither is set.
std::string UserProfilePath();
std::string ReadUserProfileString(const std::string& section, const std::string& key, const std::string& defaultValue);
// Makes the profile's folder first when it is missing.
bool WriteUserProfileString(const std::string& section, const std::string& key, const std::string& value);

}  // namespace vx::win
