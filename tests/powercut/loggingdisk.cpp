// frekuensi-loggingdisk: a disk image that records, in order, every write and every cache flush it
// receives, and rebuilds from that record the image a power cut would have left at any point. It
// can also be a slow disk: each write then takes a set time.
//
//   serve BASE LOG MOUNTPOINT [FUSE options]   serves BASE (read into memory) as
//   MOUNTPOINT/disk.img
//                                              and appends each write and flush to LOG; reading
//                                              MOUNTPOINT/writes gives the number of writes so far;
//                                              MOUNTPOINT/delay, the ms each write takes (settable)
//   image BASE LOG COUNT OUT [SEED]            writes to OUT the image after the first COUNT
//                                              writes; with SEED, the writes since the last flush
//                                              before them each reach the disk or not, at random
//                                              (a volatile disk cache that lost part of its blocks)
//   count LOG                                  prints the number of writes in LOG
//
// Put a loop device with direct I/O on top (losetup --direct-io=on), so that what a file system
// sends its block device arrives here unchanged and the loop driver turns cache flushes into fsync.
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <sys/stat.h>

namespace {

constexpr std::string_view kImageName = "/disk.img";
constexpr std::string_view kWritesName = "/writes";
constexpr std::string_view kDelayName = "/delay";
constexpr char kWrite = 'W';
constexpr char kFlush = 'F';

struct Record
{
    char kind;
    std::uint64_t offset;
    std::vector<char> bytes;
};

struct Disk
{
    std::vector<char> bytes;
    std::FILE *log = nullptr;
    std::uint64_t writes = 0;
    // How long each write of the image takes, as on an SD card, a USB stick or a busy disk.
    std::chrono::milliseconds delay{0};
};

Disk g_disk;

bool readFile(const char *path, std::vector<char> &bytes)
{
    std::FILE *file = std::fopen(path, "rb");
    if (!file)
        return false;
    std::fseek(file, 0, SEEK_END);
    bytes.resize(std::size_t(std::ftell(file)));
    std::fseek(file, 0, SEEK_SET);
    const bool read = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::fclose(file);
    return read;
}

bool appendRecord(char kind, std::uint64_t offset, const char *data, std::uint32_t size)
{
    return std::fwrite(&kind, 1, 1, g_disk.log) == 1 &&
           std::fwrite(&offset, sizeof offset, 1, g_disk.log) == 1 &&
           std::fwrite(&size, sizeof size, 1, g_disk.log) == 1 &&
           (size == 0 || std::fwrite(data, 1, size, g_disk.log) == size);
}

std::vector<Record> readLog(const char *path)
{
    std::vector<Record> records;
    std::FILE *file = std::fopen(path, "rb");
    if (!file)
        return records;
    Record record;
    std::uint32_t size = 0;
    while (std::fread(&record.kind, 1, 1, file) == 1 &&
           std::fread(&record.offset, sizeof record.offset, 1, file) == 1 &&
           std::fread(&size, sizeof size, 1, file) == 1) {
        record.bytes.resize(size);
        if (size > 0 && std::fread(record.bytes.data(), 1, size, file) != size)
            break; // a record cut short by a crash of this program is not a write
        records.push_back(record);
    }
    std::fclose(file);
    return records;
}

std::string writesText()
{
    return std::to_string(g_disk.writes) + "\n";
}

std::string delayText()
{
    return std::to_string(g_disk.delay.count()) + "\n";
}

int diskGetattr(const char *path, struct stat *status, fuse_file_info *)
{
    *status = {};
    if (path == std::string_view("/")) {
        status->st_mode = S_IFDIR | 0755;
        status->st_nlink = 2;
    } else if (path == kImageName) {
        status->st_mode = S_IFREG | 0600;
        status->st_nlink = 1;
        status->st_size = off_t(g_disk.bytes.size());
    } else if (path == kWritesName) {
        status->st_mode = S_IFREG | 0400;
        status->st_nlink = 1;
        status->st_size = off_t(writesText().size());
    } else if (path == kDelayName) {
        status->st_mode = S_IFREG | 0600;
        status->st_nlink = 1;
        status->st_size = off_t(delayText().size());
    } else {
        return -ENOENT;
    }
    return 0;
}

int diskOpen(const char *path, fuse_file_info *info)
{
    if (path != kImageName && path != kWritesName && path != kDelayName)
        return -ENOENT;
    // No page cache in between: every write reaches this program when the loop driver sends it.
    info->direct_io = 1;
    return 0;
}

int diskRead(const char *path, char *buffer, size_t size, off_t offset, fuse_file_info *)
{
    const std::string text = path == kDelayName ? delayText() : writesText();
    const std::string_view source = path == kImageName
                                        ? std::string_view(g_disk.bytes.data(), g_disk.bytes.size())
                                        : std::string_view(text);
    if (offset < 0 || std::size_t(offset) >= source.size())
        return 0;
    const std::size_t count = std::min(size, source.size() - std::size_t(offset));
    std::memcpy(buffer, source.data() + offset, count);
    return int(count);
}

int diskWrite(const char *path, const char *data, size_t size, off_t offset, fuse_file_info *)
{
    if (path == kDelayName) {
        g_disk.delay =
            std::chrono::milliseconds(std::strtoul(std::string(data, size).c_str(), nullptr, 10));
        return int(size);
    }
    if (path != kImageName)
        return -EACCES;
    // One request at a time (-s): a slow write holds up everything behind it, as on a real disk.
    std::this_thread::sleep_for(g_disk.delay);
    if (offset < 0 || std::size_t(offset) + size > g_disk.bytes.size())
        return -ENOSPC;
    if (!appendRecord(kWrite, std::uint64_t(offset), data, std::uint32_t(size)))
        return -EIO;
    std::memcpy(g_disk.bytes.data() + offset, data, size);
    ++g_disk.writes;
    return int(size);
}

// `echo 300 > delay` truncates the file first.
int diskTruncate(const char *path, off_t, fuse_file_info *)
{
    return path == kDelayName ? 0 : -EACCES;
}

int diskFsync(const char *, int, fuse_file_info *)
{
    return appendRecord(kFlush, 0, nullptr, 0) && std::fflush(g_disk.log) == 0 ? 0 : -EIO;
}

void diskDestroy(void *)
{
    if (std::fflush(g_disk.log) != 0 || std::fclose(g_disk.log) != 0)
        std::perror("loggingdisk: log");
}

int serve(int argc, char *argv[])
{
    if (!readFile(argv[2], g_disk.bytes)) {
        std::perror(argv[2]);
        return 1;
    }
    g_disk.log = std::fopen(argv[3], "wb");
    if (!g_disk.log) {
        std::perror(argv[3]);
        return 1;
    }
    fuse_operations operations{};
    operations.getattr = diskGetattr;
    operations.open = diskOpen;
    operations.read = diskRead;
    operations.write = diskWrite;
    operations.truncate = diskTruncate;
    operations.fsync = diskFsync;
    operations.destroy = diskDestroy;
    // One thread: the writes are recorded in the order they arrive.
    std::vector<char *> fuseArgs{argv[0], argv[4], const_cast<char *>("-f"),
                                 const_cast<char *>("-s")};
    for (int i = 5; i < argc; ++i)
        fuseArgs.push_back(argv[i]);
    return fuse_main(int(fuseArgs.size()), fuseArgs.data(), &operations, nullptr);
}

int image(int argc, char *argv[])
{
    std::vector<char> bytes;
    if (!readFile(argv[2], bytes)) {
        std::perror(argv[2]);
        return 1;
    }
    const std::vector<Record> records = readLog(argv[3]);
    const std::uint64_t count = std::stoull(argv[4]);
    // Where the first `count` writes end, and the last flush before that.
    std::size_t end = 0;
    std::size_t flushed = 0;
    for (std::uint64_t writes = 0; end < records.size() && writes < count; ++end) {
        if (records[end].kind == kWrite)
            ++writes;
        else
            flushed = end;
    }
    std::mt19937_64 random(argc > 6 ? std::stoull(argv[6]) : 0);
    for (std::size_t i = 0; i < end; ++i) {
        const Record &record = records[i];
        if (record.kind != kWrite || record.offset + record.bytes.size() > bytes.size())
            continue;
        // Behind the last flush everything is on the disk; after it, with a seed, half of it.
        if (argc > 6 && i > flushed && random() % 2 == 0)
            continue;
        std::memcpy(bytes.data() + record.offset, record.bytes.data(), record.bytes.size());
    }
    std::FILE *out = std::fopen(argv[5], "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
        std::fclose(out) != 0) {
        std::perror(argv[5]);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (mode == "serve" && argc >= 5)
        return serve(argc, argv);
    if (mode == "image" && (argc == 6 || argc == 7))
        return image(argc, argv);
    if (mode == "count" && argc == 3) {
        std::uint64_t writes = 0;
        for (const Record &record : readLog(argv[2]))
            writes += record.kind == kWrite ? 1 : 0;
        std::printf("%llu\n", static_cast<unsigned long long>(writes));
        return 0;
    }
    std::fprintf(stderr,
                 "usage: %s serve BASE LOG MOUNTPOINT [FUSE options]\n"
                 "       %s image BASE LOG COUNT OUT [SEED]\n"
                 "       %s count LOG\n",
                 argv[0], argv[0], argv[0]);
    return 2;
}
