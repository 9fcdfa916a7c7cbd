// The background load over the real import: a stop ends it soon with a status
// of its own, and a replace that ends after the old dataset's gradients went
// gives them back bit for bit.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "app/LoadJob.h"
#include "support/TestFiles.h"

namespace {

bool WaitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 6000 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return condition();
}

int Field(int x, int y, int z) {
    return (x * 7 + y * y * 3 + z * 11) % 4000;
}

TEST(LoadJobTest, CancelEndsTheLoadAndTheOldDatasetComesBackWhole) {
    const testfiles::ScratchDir dir;
    const std::string sBytes = testfiles::FieldBytes(32, 32, 32, Field);
    auto pOld = testfiles::MakeVolume(16, 16, 16, Field);
    const std::vector<int16_t> differences(pOld->m_pDifferences,
                                           pOld->m_pDifferences + 3 * pOld->m_nVoxelCount);

    // Stopped while half of it has come through a pipe: the rest never comes.
    const std::string sPipe = dir.Path("slow.dat");
    ASSERT_EQ(mkfifo(sPipe.c_str(), 0600), 0);
    std::atomic<int> nPercent{-1};
    auto import = [&](const std::string& sPath) {
        return [sPath](const ImportProgress& progress) { return ImportVolume(sPath, &progress); };
    };
    const int nFd = open(sPipe.c_str(), O_RDWR | O_NONBLOCK); // a writer from the start
    ASSERT_GE(nFd, 0);
    CLoadJob slow(import(sPipe), {[&](int n) { nPercent = n; }, {}, {}});
    ASSERT_EQ(write(nFd, sBytes.data(), sBytes.size() / 2),
              static_cast<ssize_t>(sBytes.size() / 2));
    // (The reading is 60 % of the whole.)
    EXPECT_TRUE(WaitUntil([&] { return nPercent >= 29; }));
    EXPECT_LE(nPercent, 30);
    slow.Cancel();
    ImportResult result = slow.Take();
    close(nFd);
    EXPECT_EQ(result.eStatus, IMPORT_CANCELLED);
    EXPECT_FALSE(result.pVolume);

    // A file's voxels are read in pieces, each reported; a stop between two
    // ends the read.
    const std::string sBig = dir.Write("big.dat", testfiles::FieldBytes(256, 256, 40, Field));
    std::vector<double> fractions;
    std::atomic<bool> bStop{false};
    ImportProgress reading;
    reading.pCancel = &bStop;
    reading.progress = [&](double d) {
        fractions.push_back(d);
        bStop = fractions.size() == 2;
    };
    EXPECT_EQ(ImportVolume(sBig, &reading).eStatus, IMPORT_CANCELLED);
    ASSERT_EQ(fractions.size(), 2u);
    EXPECT_GT(fractions[1], fractions[0]);
    bStop = false;
    fractions.clear();
    reading.progress = [&](double d) { fractions.push_back(d); };
    EXPECT_EQ(ImportVolume(sBig, &reading).eStatus, IMPORT_OK);
    EXPECT_GE(fractions.size(), 4u);

    // Stopped once its voxels are in and the old gradients have gone.
    std::atomic<bool> bReleased{false};
    CLoadJob job(import(dir.Write("new.dat", sBytes)),
                 {{}, [&] { pOld->ReleaseGradients(), bReleased = true; }, {}});
    ASSERT_TRUE(WaitUntil([&] { return bReleased.load(); }));
    EXPECT_FALSE(pOld->HasGradients());
    job.Cancel();
    result = job.Take();
    EXPECT_EQ(result.eStatus, IMPORT_CANCELLED);
    ASSERT_TRUE(pOld->RestoreGradients());
    EXPECT_TRUE(std::equal(differences.begin(), differences.end(), pOld->m_pDifferences));
}

} // namespace
