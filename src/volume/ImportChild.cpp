// Reading a file with the third-party readers in a child process: whatever the
// readers do with a bad file (crash, loop, eat memory, wait for a pipe, leak),
// it ends with the child, and this process makes one line of it.
//
// The child is a fork of this process, not a new program: the readers are in
// this binary already, so the child starts in a few milliseconds and needs no
// helper program to be found and started. Fork copies only the calling thread;
// what the child runs must not wait for a lock another thread may hold at the
// moment of the fork. The child therefore writes nothing through the
// diagnostic channel (its lock belongs to this process's threads), nothing to
// stdout or stderr (their descriptors lead to /dev/null), and it allocates
// only through malloc, whose locks the C library makes safe across fork. ITK
// and GDCM are used by the importing thread alone, so no other thread holds
// their locks. The child ends with _exit: no destructors or exit handlers of
// the copied process run in it.
//
// What goes back: the values in the source's own type in a memfd that this
// process maps (no copy beyond the one the child writes), and records on a
// pipe: which reader is at work on which file, that the header has been
// checked, and at the end the source's description or the reason of failure.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <malloc.h>
#include <new>
#include <poll.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/Sync.h"
#include "volume/ImportSteps.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ORVEX_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
#define ORVEX_SANITIZED 1
#endif
#endif

namespace {

// How long a child may take: the header (processor time; a header is read in
// milliseconds, a reader in a loop is stopped soon), and the whole read (time
// on the clock, for the data of a large scan).
constexpr double HEADER_CPU_SECONDS = 1.0;
constexpr int READ_SECONDS = 30;
// Address space the child may add to what it inherited: for the header (and
// for each further header of a folder), and beyond three times the values it
// is to deliver for the data.
constexpr size_t HEADER_BYTES = size_t(64) << 20;
constexpr size_t HEADER_BYTES_PER_FILE = size_t(1) << 20;
constexpr size_t DATA_EXTRA_BYTES = size_t(64) << 20;
// The most the records of one child may take (the notices are short).
constexpr size_t MAX_REPLY_BYTES = size_t(1) << 20;

// The state of this process when it is a reading child; null in the parent.
struct ChildState {
    int nPipe = -1;
    int nMemfd = -1;
    size_t nBase = 0;    // address space at the start
    std::string sSource; // the 'S' record, once the source has been delivered
};
ChildState* g_pChild = nullptr;
// The files of a folder's scan that a child crashed on: the next child leaves
// them out (it inherits this list).
std::vector<std::string> g_Skipped;
// How many such files a load leaves out before it gives up.
constexpr size_t MAX_SKIPPED = 3;

void Append(std::string& s, const std::string& sField) {
    const uint32_t n = static_cast<uint32_t>(sField.size());
    s.append(reinterpret_cast<const char*>(&n), 4);
    s += sField;
}

// Sends one record: a tag and its fields.
void Send(char cTag, const std::vector<std::string>& fields) {
    std::string s(1, cTag);
    std::string sBody;
    for (const std::string& f : fields)
        Append(sBody, f);
    Append(s, sBody);
    const char* p = s.data();
    size_t nLeft = s.size();
    while (nLeft > 0) {
        const ssize_t n = write(g_pChild->nPipe, p, nLeft);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            _exit(3);
        p += n;
        nLeft -= static_cast<size_t>(n);
    }
}

size_t AddressSpace() {
    std::FILE* pFile = std::fopen("/proc/self/statm", "r");
    unsigned long nPages = 0;
    if (pFile) {
        if (std::fscanf(pFile, "%lu", &nPages) != 1)
            nPages = 0;
        std::fclose(pFile);
    }
    return static_cast<size_t>(nPages) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// Sets the soft limits of processor time and address space (the hard ones stay,
// so that the data phase can raise them).
void Limit(double dCpuSeconds, size_t nExtraBytes) {
    rlimit cpu{};
    getrlimit(RLIMIT_CPU, &cpu);
    cpu.rlim_cur = static_cast<rlim_t>(dCpuSeconds + 0.999);
    setrlimit(RLIMIT_CPU, &cpu);
#ifndef ORVEX_SANITIZED
    // (A sanitizer's shadow memory needs terabytes of address space.)
    rlimit as{};
    getrlimit(RLIMIT_AS, &as);
    const rlim_t nWanted = static_cast<rlim_t>(g_pChild->nBase + nExtraBytes);
    as.rlim_cur = as.rlim_max == RLIM_INFINITY ? nWanted : std::min(nWanted, as.rlim_max);
    setrlimit(RLIMIT_AS, &as);
#else
    (void)nExtraBytes;
#endif
}

[[noreturn]] void RunChild(const std::function<ImportResult()>& read) {
    // A crash ends the child by its signal, whatever handlers this process set
    // up (a sanitizer's, a fuzzer's, the toolkit's).
    for (int nSignal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGXCPU, SIGPIPE, SIGALRM})
        std::signal(nSignal, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr); // the limits' signals must arrive
    const int nNull = open("/dev/null", O_RDWR);
#ifndef ORVEX_SANITIZED
    if (nNull >= 0) {
        dup2(nNull, 1);
        dup2(nNull, 2);
    }
#endif
    if (nNull >= 0)
        dup2(nNull, 0);
    rlimit cpu{};
    getrlimit(RLIMIT_CPU, &cpu);
    if (cpu.rlim_max == RLIM_INFINITY || cpu.rlim_max > static_cast<rlim_t>(READ_SECONDS + 5))
        cpu.rlim_max = READ_SECONDS + 5;
    setrlimit(RLIMIT_CPU, &cpu);
    // Large buffers in pages of their own: the heap's free pages are still
    // shared with this process's parent, and writing them would copy each.
    mallopt(M_MMAP_THRESHOLD, 256 << 10);
    g_pChild->nBase = AddressSpace();
    Limit(HEADER_CPU_SECONDS, HEADER_BYTES);
    ImportResult result;
    try {
        result = read();
    } catch (const std::bad_alloc&) {
        Send('M', {});
        _exit(0);
    } catch (...) {
        result.eStatus = IMPORT_FAILED;
        result.sReason = "it cannot be read";
    }
    if (result.eStatus == IMPORT_OK && !g_pChild->sSource.empty())
        Send('S', {g_pChild->sSource});
    else
        Send('E', {std::to_string(result.eStatus == IMPORT_OK ? IMPORT_FAILED : result.eStatus),
                   result.sReason});
    _exit(0);
}

// The records of a child's reply, parsed; false for anything malformed.
struct Reply {
    std::string sKind = "file";
    std::string sFile;
    bool bSkippable = false;
    bool bDataPhase = false;
    std::string sHeaderSeconds = std::to_string(static_cast<int>(HEADER_CPU_SECONDS));
    bool bOutOfMemory = false;
    bool bEnd = false;
    char cEnd = 0;
    std::vector<std::string> end; // the fields of the last record
};

bool Field(const std::string& s, size_t& nAt, std::string& sField) {
    uint32_t n = 0;
    if (s.size() - nAt < 4)
        return false;
    std::memcpy(&n, s.data() + nAt, 4);
    nAt += 4;
    if (s.size() - nAt < n)
        return false;
    sField.assign(s, nAt, n);
    nAt += n;
    return true;
}

// The length-prefixed fields of a record's body; false when malformed.
bool Fields(const std::string& sBody, std::vector<std::string>& fields) {
    for (size_t i = 0; i < sBody.size();) {
        std::string sField;
        if (!Field(sBody, i, sField))
            return false;
        fields.push_back(sField);
    }
    return true;
}

bool ParseReply(const std::string& s, Reply& reply) {
    size_t nAt = 0;
    while (nAt < s.size()) {
        const char cTag = s[nAt++];
        std::string sBody;
        if (reply.bEnd || !Field(s, nAt, sBody))
            return false;
        std::vector<std::string> fields;
        if (!Fields(sBody, fields))
            return false;
        if (cTag == 'K' && fields.size() == 1)
            reply.sKind = fields[0], reply.sFile.clear(), reply.bSkippable = false;
        else if (cTag == 'F' && fields.size() == 2)
            reply.sFile = fields[0], reply.bSkippable = fields[1] == "1";
        else if (cTag == 'H' && fields.size() == 1)
            reply.sHeaderSeconds = fields[0];
        else if (cTag == 'D' && fields.empty())
            reply.bDataPhase = true;
        else if (cTag == 'M' && fields.empty())
            reply.bOutOfMemory = reply.bEnd = true;
        else if ((cTag == 'E' && fields.size() == 2) || (cTag == 'S' && fields.size() == 1))
            reply.bEnd = true, reply.cEnd = cTag, reply.end = fields;
        else
            return false;
    }
    return true;
}

// The source the child described, its values mapped from the memfd.
bool TakeSource(const std::string& sRecord, int nMemfd, SourceVolume& source) {
    std::vector<std::string> f;
    if (!Fields(sRecord, f) || f.size() < 20)
        return false;
    char* pEnd = nullptr;
    long long n[5];
    for (int i = 0; i < 5; ++i) {
        n[i] = std::strtoll(f[i].c_str(), &pEnd, 10);
        if (f[i].empty() || *pEnd != '\0')
            return false;
    }
    std::string sIgnored;
    if (!CheckDimensions(n[0], n[1], n[2], sIgnored) || n[3] < 0 ||
        n[3] > static_cast<long long>(VoxelType::Float64))
        return false;
    source.eType = static_cast<VoxelType>(n[3]);
    const long long nBytes = n[0] * n[1] * n[2] * VoxelTypeSize(source.eType);
    struct stat info {};
    if (n[4] != nBytes || fstat(nMemfd, &info) != 0 || info.st_size < nBytes)
        return false;
    for (int i = 0; i < 3; ++i) {
        source.nDim[i] = static_cast<int>(n[i]);
        source.dSpacing[i] = std::strtod(f[5 + i].c_str(), &pEnd);
        for (int j = 0; j < 3; ++j)
            source.dDirection[i][j] = std::strtod(f[9 + 3 * i + j].c_str(), &pEnd);
    }
    source.bDirection = f[8] == "1";
    source.sKind = f[18];
    source.sName = f[19];
    source.notices.assign(f.begin() + 20, f.end());
    void* p =
        mmap(nullptr, static_cast<size_t>(nBytes), PROT_READ, MAP_SHARED | MAP_POPULATE, nMemfd, 0);
    if (p == MAP_FAILED)
        return false;
    source.pData = SourceBytes(static_cast<uint8_t*>(p), SourceFree{static_cast<size_t>(nBytes)});
    return true;
}

// The bytes the child has read so far (its reads of any file), or -1.
long long BytesRead(pid_t pid) {
    std::FILE* pFile = std::fopen(("/proc/" + std::to_string(pid) + "/io").c_str(), "r");
    long long nBytes = -1;
    if (pFile) {
        if (std::fscanf(pFile, "rchar: %lld", &nBytes) != 1)
            nBytes = -1;
        std::fclose(pFile);
    }
    return nBytes;
}

// The bytes a reader takes from sPath: the file, or a folder's files.
long long BytesOnDisk(const std::string& sPath) {
    std::error_code error;
    if (!std::filesystem::is_directory(sPath, error)) {
        const auto nBytes = std::filesystem::file_size(sPath, error);
        return error ? 0 : static_cast<long long>(nBytes);
    }
    long long nBytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(sPath, error)) {
        std::error_code sizeError;
        if (entry.is_regular_file(sizeError))
            nBytes += static_cast<long long>(entry.file_size(sizeError));
    }
    return nBytes;
}

// The child's output until it closes the pipe, the time is up or the import
// is stopped; false when the time ran out or it was stopped.
// Meanwhile the progress follows the bytes the child has read of nSourceBytes.
bool Collect(int nPipe, pid_t pid, long long nSourceBytes, std::string& sReply, bool& bTooLong) {
    const uint32_t nStart = TimeGetTime();
    char buffer[65536];
    for (;;) {
        const int nLeft = READ_SECONDS * 1000 - static_cast<int>(TimeGetTime() - nStart);
        if (nLeft <= 0)
            return false;
        if (ImportCancelled())
            return false;
        const long long nRead = nSourceBytes > 0 ? BytesRead(pid) : -1;
        if (nRead >= 0)
            ReportImportProgress(PROGRESS_READ *
                                 static_cast<double>(std::min(nRead, nSourceBytes)) /
                                 static_cast<double>(nSourceBytes));
        pollfd fd{nPipe, POLLIN, 0};
        // In slices, for the progress and a stop.
        const int nReady = poll(&fd, 1, std::min(nLeft, 100));
        if ((nReady < 0 && errno == EINTR) || nReady == 0)
            continue;
        if (nReady < 0)
            return false;
        const ssize_t n = read(nPipe, buffer, sizeof(buffer));
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return true;
        if (sReply.size() + static_cast<size_t>(n) > MAX_REPLY_BYTES) {
            bTooLong = true;
            return true;
        }
        sReply.append(buffer, static_cast<size_t>(n));
    }
}

} // namespace

namespace {
thread_local const ImportProgress* t_pProgress = nullptr;
} // namespace

void ReportImportProgress(double dFraction) {
    // (A reading child has a copy of the hooks, but not the thread they post to.)
    if (t_pProgress && t_pProgress->progress && !g_pChild)
        t_pProgress->progress(std::clamp(dFraction, 0.0, 1.0));
}

bool ImportCancelled() {
    return t_pProgress && t_pProgress->Cancelled();
}

CImportProgressScope::CImportProgressScope(const ImportProgress* pProgress) {
    t_pProgress = pProgress;
    if (!pProgress)
        return;
    SetBeforeDerivedBuffers([pProgress] {
        if (pProgress->Cancelled() || (pProgress->beforeDerived && !pProgress->beforeDerived()))
            return false;
        ReportImportProgress(PROGRESS_VALUES);
        return true;
    });
    SetReadProgress([pProgress](double dFraction) {
        ReportImportProgress(PROGRESS_READ * dFraction);
        return !pProgress->Cancelled();
    });
}

CImportProgressScope::~CImportProgressScope() {
    if (t_pProgress) {
        SetBeforeDerivedBuffers({});
        SetReadProgress({});
    }
    t_pProgress = nullptr;
}

ImportResult CImportProgressScope::End(ImportResult result) const {
    if (ImportCancelled()) {
        result = ImportResult();
        result.eStatus = IMPORT_CANCELLED;
    } else if (result.eStatus == IMPORT_OK) {
        ReportImportProgress(1.0);
    }
    return result;
}

void SourceFree::operator()(uint8_t* p) const {
    if (nMapped > 0)
        munmap(p, nMapped);
    else
        delete[] p;
}

SourceBytes AllocateSource(size_t nBytes) {
    if (!g_pChild)
        return SourceBytes(new (std::nothrow) uint8_t[std::max<size_t>(nBytes, 1)]);
    const size_t nMapped = std::max<size_t>(nBytes, 1);
    if (ftruncate(g_pChild->nMemfd, static_cast<off_t>(nMapped)) != 0)
        return SourceBytes(nullptr);
    void* p = mmap(nullptr, nMapped, PROT_READ | PROT_WRITE, MAP_SHARED, g_pChild->nMemfd, 0);
    if (p == MAP_FAILED)
        return SourceBytes(nullptr);
    return SourceBytes(static_cast<uint8_t*>(p), SourceFree{nMapped});
}

bool InReadingChild() {
    return g_pChild != nullptr;
}

void ReportReader(const char* pKind, const std::string& sFile, bool bSkippable) {
    if (!g_pChild)
        return;
    Send('K', {pKind});
    if (!sFile.empty())
        Send('F', {sFile, bSkippable ? "1" : "0"});
}

bool SkippedFile(const std::string& sFile) {
    return std::find(g_Skipped.begin(), g_Skipped.end(), sFile) != g_Skipped.end();
}

void AllowDataPhase(long long nBytes) {
    if (!g_pChild)
        return;
    Send('D', {});
    g_pChild->nBase = std::max(g_pChild->nBase, AddressSpace()); // the headers' memory stays
    Limit(READ_SECONDS, DATA_EXTRA_BYTES + 3 * static_cast<size_t>(std::max(0LL, nBytes)));
}

void AllowHeaders(size_t nFiles) {
    if (!g_pChild)
        return;
    const int nSeconds = static_cast<int>(std::ceil(HEADER_CPU_SECONDS + 0.02 * nFiles));
    Send('H', {std::to_string(nSeconds)});
    Limit(nSeconds, HEADER_BYTES + nFiles * HEADER_BYTES_PER_FILE);
}

ImportResult DeliverSource(const std::string& sPath, SourceVolume& source) {
    (void)sPath;
    std::string s;
    char sz[32];
    for (int i = 0; i < 3; ++i)
        Append(s, std::to_string(source.nDim[i]));
    Append(s, std::to_string(static_cast<int>(source.eType)));
    Append(s, std::to_string(static_cast<size_t>(source.nDim[0]) * source.nDim[1] * source.nDim[2] *
                             VoxelTypeSize(source.eType)));
    for (int i = 0; i < 3; ++i) {
        std::snprintf(sz, sizeof(sz), "%.17g", source.dSpacing[i]);
        Append(s, sz);
    }
    Append(s, source.bDirection ? "1" : "0");
    for (const auto& axis : source.dDirection) {
        for (double d : axis) {
            std::snprintf(sz, sizeof(sz), "%.17g", d);
            Append(s, sz);
        }
    }
    Append(s, source.sKind);
    Append(s, source.sName);
    for (const std::string& sNotice : source.notices)
        Append(s, sNotice);
    g_pChild->sSource = s;
    ImportResult result;
    result.eStatus = IMPORT_OK;
    return result;
}

namespace {

// One child; the file it crashed on in a folder's scan goes to sCrashedOn.
ImportResult ReadInOneChild(const std::string& sPath, const std::function<ImportResult()>& read,
                            std::string& sCrashedOn) {
    const int nMemfd = memfd_create("orvex-voxels", MFD_CLOEXEC);
    int pipes[2] = {-1, -1};
    if (nMemfd < 0 || pipe2(pipes, O_CLOEXEC) != 0) {
        if (nMemfd >= 0)
            close(nMemfd);
        return FailImport(sPath, IMPORT_FAILED,
                          std::string("no process can be started to read it (") +
                              std::strerror(errno) + ")");
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipes[0]);
        static ChildState s_Child;
        s_Child.nPipe = pipes[1];
        s_Child.nMemfd = nMemfd;
        g_pChild = &s_Child;
        RunChild(read);
    }
    close(pipes[1]);
    std::string sReply;
    bool bTooLong = false;
    const bool bInTime = pid > 0 && Collect(pipes[0], pid, BytesOnDisk(sPath), sReply, bTooLong);
    close(pipes[0]);
    int nStatus = 0;
    if (pid > 0) {
        if (!bInTime || bTooLong)
            kill(pid, SIGKILL);
        while (waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {
        }
    }
    if (ImportCancelled()) {
        close(nMemfd);
        return {};
    }
    Reply reply;
    const bool bParsed = ParseReply(sReply, reply);
    const std::string sReader = "the " + reply.sKind + " reader";
    const std::string sOn =
        reply.sFile.empty()
            ? "this file"
            : "its file '" + std::filesystem::path(reply.sFile).filename().string() + "'";
    const std::string sOnFile = reply.sFile.empty() ? "" : " on " + sOn;
    std::string sReason;
    SourceVolume source;
    const bool bDied = WIFSIGNALED(nStatus) && WTERMSIG(nStatus) != SIGKILL;
    if (pid > 0 && bInTime && !bTooLong && bDied && reply.bSkippable) {
        close(nMemfd);
        sCrashedOn = reply.sFile;
        return {};
    }
    if (pid < 0) {
        sReason = "no process can be started to read it";
    } else if (bTooLong) {
        sReason = sReader + " ended without a usable answer";
    } else if (!bInTime) {
        sReason =
            sReader + " did not finish within " + std::to_string(READ_SECONDS) + " s" + sOnFile;
    } else if (WIFSIGNALED(nStatus) && WTERMSIG(nStatus) == SIGXCPU) {
        sReason = sReader + " did not finish within " +
                  (reply.bDataPhase ? std::to_string(READ_SECONDS) + " s"
                                    : reply.sHeaderSeconds + " s (its header)") +
                  sOnFile;
    } else if (reply.bOutOfMemory || (WIFSIGNALED(nStatus) && WTERMSIG(nStatus) == SIGKILL)) {
        sReason = sReader + " ran out of memory on " + sOn;
    } else if (WIFSIGNALED(nStatus)) {
        sReason = sReader + " crashed on " + sOn + " (" + strsignal(WTERMSIG(nStatus)) + ")";
    } else if (!bParsed || !reply.bEnd || !WIFEXITED(nStatus) || WEXITSTATUS(nStatus) != 0) {
        sReason = sReader + " ended without a usable answer";
    } else if (reply.cEnd == 'E') {
        const ImportStatus eStatus = reply.end[0] == "1" ? IMPORT_NOT_RECOGNISED : IMPORT_FAILED;
        close(nMemfd);
        return FailImport(sPath, eStatus, reply.end[1]);
    } else if (!TakeSource(reply.end[0], nMemfd, source)) {
        sReason = sReader + " ended without a usable answer";
    }
    close(nMemfd); // the mapping keeps the values
    if (!sReason.empty())
        return FailImport(sPath, IMPORT_FAILED, sReason);
    return FinishImport(sPath, source);
}

} // namespace

ImportResult ReadInChild(const std::string& sPath, const std::function<ImportResult()>& read) {
    g_Skipped.clear();
    std::vector<std::string> notices;
    for (;;) {
        std::string sCrashedOn;
        ImportResult result = ReadInOneChild(sPath, read, sCrashedOn);
        if (sCrashedOn.empty() || g_Skipped.size() >= MAX_SKIPPED) {
            if (sCrashedOn.empty() && result.eStatus == IMPORT_OK) {
                for (const std::string& sNotice : notices)
                    DebugOutput((sNotice + "\n").c_str());
                result.notices.insert(result.notices.begin(), notices.begin(), notices.end());
            } else if (!sCrashedOn.empty()) {
                std::string sNames;
                for (const std::string& sFile : g_Skipped)
                    sNames += "'" + std::filesystem::path(sFile).filename().string() + "', ";
                result =
                    FailImport(sPath, IMPORT_FAILED,
                               "the DICOM reader crashed on its files " + sNames + "'" +
                                   std::filesystem::path(sCrashedOn).filename().string() + "'");
            }
            g_Skipped.clear();
            return result;
        }
        g_Skipped.push_back(sCrashedOn);
        notices.push_back("'" + sCrashedOn + "' is left out: the DICOM reader crashed on it");
    }
}
