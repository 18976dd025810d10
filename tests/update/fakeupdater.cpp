// Stands in for the updater: writes the arguments it was given, one a line, into
// "updater-args.txt" beside itself, so a test can read what it was started with.
#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
    const std::filesystem::path self(argv[0]);
    std::ofstream out(self.parent_path() / "updater-args.txt.part", std::ios::binary);
    for (int i = 1; i < argc; ++i)
        out << argv[i] << '\n';
    out.close();
    std::error_code ignored;
    std::filesystem::rename(self.parent_path() / "updater-args.txt.part",
                            self.parent_path() / "updater-args.txt", ignored);
    return 0;
}
