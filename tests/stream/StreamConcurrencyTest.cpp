// Several threads logging to one stream, each line written in pieces: every
// line in the file must be whole.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "stream/DynStream.h"

namespace veldan::test {

namespace fs = std::filesystem;

TEST(StreamConcurrency, LinesFromSeveralThreadsNeverMix) {
    std::string pattern = (fs::temp_directory_path() / "veldan-stream-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    fs::path folder = pattern;
    fs::path log = folder / "traffic.log";
    for (const char* mode : {"a", "w"}) {
        DynStream* s = dyn_fopen(log.c_str(), mode);
        ASSERT_NE(s, nullptr);
        constexpr int kThreads = 6, kLines = 3000;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([s, t] {
                for (int i = 0; i < kLines; ++i) {
                    // The traffic log writes a prefix, the packet and the line end separately.
                    dyn_fprintf(s, "==>\t");
                    dyn_fprintf(s, "thread %d line %d", t, i);
                    dyn_fputs(" ....................................", s);
                    dyn_fprintf(s, "\r\n");
                    if (i % 100 == 0) dyn_fflush(s);
                }
            });
        }
        for (auto& th : threads) th.join();
        ASSERT_EQ(dyn_fclose(s), 0);

        std::ifstream in(log, std::ios::binary);
        std::string line;
        std::map<int, int> next;  // per thread: the next expected line number
        int count = 0;
        while (std::getline(in, line)) {
            int t = -1, i = -1;
            char tail[64] = {};
            ASSERT_EQ(std::sscanf(line.c_str(), "==>\tthread %d line %d %63s", &t, &i, tail), 3) << line;
            ASSERT_EQ(std::string(tail), "....................................") << line;
            ASSERT_EQ(line.back(), '\r') << line;
            ASSERT_EQ(i, next[t]++) << "lines of one thread keep their order";
            ++count;
        }
        EXPECT_EQ(count, kThreads * kLines) << mode;
        fs::remove(log);
    }
    fs::remove_all(folder);
}

}  // namespace veldan::test
