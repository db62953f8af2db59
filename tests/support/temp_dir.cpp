#include "support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <random>

TempDir::TempDir()
{
    static std::atomic<int> counter{0};
    std::random_device random;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    FPath = std::filesystem::temp_directory_path() /
            ("vernwick-test-" + std::to_string(stamp) + "-" + std::to_string(random()) + "-" +
             std::to_string(counter++));
    std::filesystem::create_directories(FPath);
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}
