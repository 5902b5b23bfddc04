#include "tools/text_form.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace testkit {

std::vector<TextLine> SplitTextForm(std::string_view text)
{
    std::vector<TextLine> lines;
    int number = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        ++number;
        std::string_view line = text.substr(start, end - start);
        if (const size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        TextLine out;
        out.number = number;
        size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
                ++i;
            size_t j = i;
            while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r')
                ++j;
            if (j > i)
                out.words.emplace_back(line.substr(i, j - i));
            i = j;
        }
        if (!out.words.empty())
            lines.push_back(std::move(out));
        start = end + 1;
    }
    return lines;
}

std::string TextFormMessage(std::string_view file, const TextFormError& error)
{
    const std::string where = error.file.empty() ? std::string(file) : error.file;
    if (error.line <= 0)  // the file as a whole
        return where + ": " + error.what();
    return where + ":" + std::to_string(error.line) + ": " + error.what();
}

void Refuse(const TextLine& line, const std::string& reason)
{
    throw TextFormError(line.number, reason);
}

void ExpectWords(const TextLine& line, size_t least, size_t most)
{
    if (line.words.size() < least || line.words.size() > most)
        Refuse(line, "\"" + line.words[0] + "\" takes " +
                         (least == most ? std::to_string(least - 1)
                                        : std::to_string(least - 1) + " to " + std::to_string(most - 1)) +
                         " values, not " + std::to_string(line.words.size() - 1));
}

float WordFloat(const TextLine& line, size_t index)
{
    if (index >= line.words.size())
        Refuse(line, "a number is missing after \"" + line.words.back() + "\"");
    const std::string& word = line.words[index];
    char* end = nullptr;
    errno = 0;
    const float value = std::strtof(word.c_str(), &end);
    if (end == word.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(value))
        Refuse(line, "\"" + word + "\" is not a number");
    return value;
}

int64_t WordInt(const TextLine& line, size_t index, int64_t least, int64_t most)
{
    if (index >= line.words.size())
        Refuse(line, "a whole number is missing after \"" + line.words.back() + "\"");
    const std::string& word = line.words[index];
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(word.c_str(), &end, 10);
    if (end == word.c_str() || *end != '\0' || errno == ERANGE)
        Refuse(line, "\"" + word + "\" is not a whole number");
    if (value < least || value > most)
        Refuse(line, word + " is outside " + std::to_string(least) + " to " + std::to_string(most));
    return value;
}

std::string ReadTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw TextFormError(0, "cannot read " + path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> ReadBinaryFile(const std::string& path)
{
    const std::string text = ReadTextFile(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool WriteOutputFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::error_code error;
    const std::filesystem::path target(path);
    if (target.has_parent_path())
        std::filesystem::create_directories(target.parent_path(), error);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

}  // namespace testkit
