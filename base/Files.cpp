#include "base/Files.h"

#include <memory>

std::string ReadFileStart(const std::string& path, std::size_t most) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenFile(path, "rb"), std::fclose);
    if (!file) {
        return {};
    }
    std::string text(most, '\0');
    text.resize(std::fread(text.data(), 1, most, file.get()));
    return text;
}
