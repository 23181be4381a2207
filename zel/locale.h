// Locale names, codeset names, the environment getters and the library's
// one-time start-up.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel {

// Work buffers of locale and codeset names; a longer name is cut.
inline constexpr std::size_t LOCALE_NAME_SIZE = 32;
inline constexpr std::size_t CODESET_NAME_SIZE = 128;

// Locale names: results are NUL-terminated and cut to size - 1.
void getDefaultLocale(char* buffer, std::size_t size);
const char* localeFromLanguageId(std::uint16_t langId);
void normalizeLocale(const char* name, char* buffer, std::size_t size);
void alternateLocale(const char* name, char* buffer, std::size_t size);

// Codeset names and start-up.
int zelInitialize();
int normalizeCodesetName(const char* name, char* buffer, std::size_t size);
int osCodesetName(char* buffer, std::size_t size);
int osCodePage(const char* name, char* buffer, std::size_t size);
int resolveCodesetAlias(char* buffer, std::size_t size);

// Environment getters: the variable's current value, or "".
const char* getNlsPath();
const char* getZelDir();

}  // namespace zel
