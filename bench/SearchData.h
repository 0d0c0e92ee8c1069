#pragma once

// What the search's benchmarks work on, made once per process: a search file of 200,000
// lines like a collection scanned from two drives and many discs, in a temporary home
// folder of its own.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

#include "library/SearchIndex.h"

namespace spinlorex::bench {

class SearchData {
public:
    static constexpr int kLines = 200'000;

    SearchData() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "spinlorex-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) return;
        dir_ = pattern;
        static const char* const kWords[] = {
            "Love",    "Night",  "Daft",  "Punk",     "Around", "World", "Blue",   "Monday",
            "House",   "Deep",   "Soul",  "Fire",     "Dance",  "Girl",  "Summer", "Beat",
            "Tonight", "Rhythm", "Dream", "Electric", "Disco",  "Heart", "Sound",  "Music",
            "Funk",    "Groove", "Star",  "Light",    "Moon",   "City"};
        std::mt19937 random(7);
        const auto word = [&] { return std::string(kWords[random() % std::size(kWords)]); };
        std::ofstream out(dir_ / SearchIndex::kFileName, std::ios::binary);
        for (int i = 0; i < kLines; ++i) {
            const std::string artist = word() + " " + word();
            const std::string title = word() + " " + word() + " " + word();
            const unsigned size = 2000000 + random() % 9000000;
            if (i % 3 == 2)
                out << "CD" << (i / 300 + 1) << "=/" << word() << "/" << artist << " - " << title
                    << ".mp3," << size;
            else
                out << (i % 3 == 0 ? "/:/home/dj/Music/" : "/media/dj/CRATE:/Collection/") << artist
                    << "/" << word() << " " << word() << "/" << (i % 20 + 1) << " " << artist
                    << " - " << title << ".mp3," << size;
            out << "\r\n";
        }
        out.close();
        fileSize_ = std::filesystem::file_size(dir_ / SearchIndex::kFileName);
    }
    ~SearchData() {
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }
    SearchData(const SearchData&) = delete;
    SearchData& operator=(const SearchData&) = delete;

    std::string home() const { return dir_.string(); }
    double fileSize() const { return static_cast<double>(fileSize_); }

private:
    std::filesystem::path dir_;
    uintmax_t fileSize_ = 0;
};

}  // namespace spinlorex::bench
