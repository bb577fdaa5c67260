// Reading an OBJ input on every core. The input is cut into byte ranges at line starts, and each
// range is scanned on its own, by both scans in turn, as if the one-thread reader began a statement
// there in the state it would have there. Both are guesses until the range before is done: a face
// whose references run on over the next lines, a bare "f" that takes the next line's first word,
// or a line the two scans read differently all move the true start. So the reports are put
// together in file order, each guess is checked against where the range before really ended and
// the state it ended in, and a range whose guess was wrong is scanned again from the true point.
// The result is the one-thread reader's, bit for bit; only the time differs.
//
// The counting scan needs no state but its start: its counts are its own and the group current
// where it began stays symbolic. The filling scan needs the next slot of every array and of every
// group's triangle list; the counting scan's reports give them, and a filling range may store only
// into the window they assign it, so that a wrong guess cannot touch another range's slots. The
// true scans tile the arrays and write every slot they use whole, and scans done again come after
// all first runs, so every slot ends with its true value.
//
// The counting reports are taken in file order (RangeReader::takeReport): a range's material
// libraries are read as its "mtllib" lines come, the warnings of the load flags wait in
// FlagWarnings until the read knows how far it goes, and the range gets its fill plan.
//
// An input read as one range (one thread, or a small input) is first read by the filling scan
// alone, its arrays growing as it stores (RangeReader::readOnce): one pass over the input instead
// of two. It reads what both scans would read, and gives up where the counts alone could decide
// (see Growth); the input is then read again by both scans, and only the time differs.
#include <malloc.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "hash_table.h"
#include "obj_scan.h"
#include "polygon.h"
#include "zel_internal.h"

namespace zel {

namespace {

constexpr uint64_t kOneThreadBelow = uint64_t{4} << 20;  // smaller inputs are read on one thread
constexpr uint64_t kLeastRange = uint64_t{1} << 20;
constexpr uint32_t kRangesPerThread = 8;  // so that threads that finish early take more ranges
constexpr size_t kProbeBuffer = 4096;     // for finding line starts

// The ranges' guessed starts: 0, then the first line start at or after every rangeSize bytes.
std::vector<uint64_t> rangeStarts(const Input& input, uint64_t rangeSize) {
    std::vector<uint64_t> starts{0};
    std::vector<char> buffer(input.fd >= 0 ? kProbeBuffer : 0);
    for (uint64_t at = rangeSize; at < input.size; at += rangeSize) {
        if (at <= starts.back()) continue;
        uint64_t start;
        if (input.fd < 0) {
            const void* newline = std::memchr(input.data + at - 1, '\n', input.size - at + 1);
            start = newline ? static_cast<const char*>(newline) - input.data + 1 : input.size;
        } else {
            Scanner in(input, at - 1, buffer);
            in.skipLine();
            start = in.offset();
        }
        if (start >= input.size) break;
        ZEL_ASSERT(start > starts.back());
        starts.push_back(start);
        if (UINT64_MAX - at < rangeSize) break;
    }
    return starts;
}

// Runs work(item, buffer) for every item on up to `threads` threads, the calling one among them;
// each thread streams through a buffer of its own (null when the input is scanned in place).
class Workers {
public:
    Workers(uint32_t threads, size_t bufferSize) : buffers_(threads) {
        if (bufferSize)
            for (auto& buffer : buffers_) buffer.resize(bufferSize);
        inPlace_ = bufferSize == 0;
    }

    // Out of memory on any thread stops the work and is raised on the calling one.
    void run(size_t items, const std::function<void(size_t, std::vector<char>*)>& work) {
        std::atomic<size_t> next{0};
        std::atomic<bool> outOfMemory{false};
        auto loop = [&](size_t worker) {
            try {
                for (size_t item; !outOfMemory && (item = next.fetch_add(1)) < items;)
                    work(item, inPlace_ ? nullptr : &buffers_[worker]);
            } catch (const std::bad_alloc&) {
                outOfMemory = true;
            }
        };
        {
            HelperThreads helpers(static_cast<uint32_t>(std::min(buffers_.size(), items)), loop);
            loop(0);
        }
        if (outOfMemory) throw std::bad_alloc();
    }

    std::vector<char>* mine() { return inPlace_ ? nullptr : &buffers_[0]; }

private:
    std::vector<std::vector<char>> buffers_;
    bool inPlace_;
};

// Large arrays of the model are backed by huge pages where the system offers them, which spares
// the filling scan most of its page faults. The allocator maps each large block on its own; the
// whole mapping is marked, from the page the block starts in to the end of the bytes it may use,
// because marking part of a mapping splits it, and realloc could then no longer move the block by
// remapping its pages.
void* onHugePages(void* array, size_t bytes) {
    constexpr uintptr_t kHuge = uintptr_t{2} << 20, kPage = 4096;
    if (bytes >= 4 * kHuge) {
        const uintptr_t at = reinterpret_cast<uintptr_t>(array);
        const uintptr_t from = at & ~(kPage - 1);
        const uintptr_t to = (at + malloc_usable_size(array) + kPage - 1) & ~(kPage - 1);
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    }
    return array;
}

// A zeroed array for the model.
void* zeroedArray(size_t count, size_t size) {
    return onHugePages(allocateZeroed(count, size), count * size);
}

// Prints a warning line, or hands it to the caller's callback.
void warn(const ReadOptions& options, const std::string& line) {
    if (options.warn)
        options.warn(line);
    else
        std::fputs(line.c_str(), stdout);
}

// The warnings of the load flags, delivered in file order: a library that cannot be read, and the
// first line of each unknown keyword (its line number found once all are known). A read that
// fails delivers those before the failure's statement, as the one-thread read has met them.
class FlagWarnings {
public:
    FlagWarnings(const char* path, const Input& input, const ReadOptions& options)
        : path_(path), input_(input), options_(options) {}

    // The keywords a range skipped, each kept the first time it is met.
    void unknownKeywords(std::vector<CountReport::Unknown>& keywords) {
        for (CountReport::Unknown& keyword : keywords)
            if (unknown_.insert(keyword.keyword).second)
                pending_.push_back({keyword.offset, {}, std::move(keyword.keyword)});
    }
    // The line for a library that cannot be read, whose "mtllib" is at `offset`.
    void missingLibrary(uint64_t offset, std::string line) {
        pending_.push_back({offset, std::move(line), {}});
    }
    // Delivers those before `before`, in file order, and drops the rest.
    void deliver(uint64_t before);

private:
    struct Pending {
        uint64_t offset;
        std::string line;     // the whole line, or
        std::string keyword;  // an unknown keyword
    };

    const char* path_;
    const Input& input_;
    const ReadOptions& options_;
    std::vector<Pending> pending_;
    HashSet<std::string> unknown_;
};

void FlagWarnings::deliver(uint64_t before) {
    std::stable_sort(pending_.begin(), pending_.end(),
                     [](const Pending& a, const Pending& b) { return a.offset < b.offset; });
    while (!pending_.empty() && pending_.back().offset >= before) pending_.pop_back();
    std::vector<uint64_t> offsets;
    for (const Pending& p : pending_)
        if (!p.keyword.empty()) offsets.push_back(p.offset);
    std::vector<uint32_t> lines = linesOf(input_, offsets);
    size_t next = 0;
    for (const Pending& p : pending_) {
        if (p.keyword.empty()) {
            warn(options_, p.line);
            continue;
        }
        warn(options_,
             failure(Stream::Out,
                     "zelReadOBJ() warning: \"%s\" line %u: unknown keyword \"%s\", lines "
                     "starting with it skipped.\n",
                     path_, lines[next++], p.keyword.c_str())
                 .message);
    }
}

// The counts the filling scan of a range starts from, and their totals.
enum Count { kVertices, kNormals, kTexcoords, kTriangles, kCounts };

// What the filling scan of a range is told: where it begins, the state it begins in and the
// slots it may use, all taken from the counting scan.
struct FillPlan {
    uint64_t first = 0;
    uint64_t counts[kCounts] = {};  // before it
    uint32_t group = 0;
    HashMap<uint32_t, GroupSlots> groups;  // each group's window in its triangle list
};

class RangeReader {
public:
    RangeReader(const char* path, const Input& input, const ReadOptions& options)
        : path_(path), input_(input), options_(options), libraries_(options.libraries) {}
    ~RangeReader() {
        if (model_) zelFreeModel(model_);
        std::free(index_.faceStarts);
    }

    Status read(ZelModel** out);

private:
    bool readOnce(Status* status);
    void readAgain();
    Status count();
    Status takeReport(size_t range, CountReport& report, FlagWarnings& warnings);
    Status loadLibraries(const CountReport& report, FlagWarnings& warnings);
    std::vector<std::string> libraryNames(const CountReport::Library& library) const;
    Status loadLibrary(const std::string& name, uint64_t offset, FlagWarnings& warnings);
    void planFill(size_t range, const CountReport& report);
    Status setCounts();
    void indexMaterials();
    uint64_t arrayBytes() const;
    Status allocate();
    Status fill();
    void allocateShapes();
    void cutFaces();
    uint64_t stop(size_t range) const {
        return range + 1 < starts_.size() ? starts_[range + 1] : UINT64_MAX;
    }
    Status readError() const {
        return failure(Stream::Err, "zelReadOBJ() failed: error reading \"%s\".\n", path_);
    }

    const char* path_;
    Input input_;
    const ReadOptions& options_;
    const TextProvider* libraries_;  // the caller's, or replaying its answers (readAgain)
    // The caller's answers while readOnce read, and how many the reading after it was given.
    struct Answer {
        std::string path;
        bool found;
        std::string text;
    };
    std::vector<Answer> answers_;
    size_t replayed_ = 0;
    TextProvider recorder_, replayer_;
    ZelModel* model_ = nullptr;
    std::vector<uint64_t> starts_;  // guessed starts of the counting scan's ranges
    Workers* workers_ = nullptr;
    ModelIndex index_;
    std::vector<FillPlan> plans_;
    std::vector<uint64_t> counted_;    // triangles per group id
    std::vector<ShapeCounts> shapes_;  // shapes per group id
    bool smoothing_ = false;           // an "s" statement
    uint64_t totals_[kCounts] = {};    // of the ranges taken so far
    uint32_t current_ = 0;             // the group current where they end
    bool colors_ = false;              // a vertex gives a colour
};

Status RangeReader::read(ZelModel** out) {
    *out = nullptr;
    model_ = static_cast<ZelModel*>(allocateZeroed(1, sizeof(ZelModel)));
    model_->path = copyString(path_);
    index_.model = model_;

    uint32_t threads = options_.threads ? options_.threads : usableProcessors();
    uint64_t rangeSize = options_.rangeSize;
    if (!rangeSize)
        rangeSize =
            threads == 1 || input_.size < kOneThreadBelow
                ? UINT64_MAX
                : std::max(kLeastRange, input_.size / (uint64_t{threads} * kRangesPerThread));
    starts_ = rangeStarts(input_, rangeSize);
    size_t bufferSize = options_.bufferSize;
    if (!bufferSize && input_.fd >= 0)
        bufferSize = static_cast<size_t>(std::min<uint64_t>(kDefaultBufferSize, input_.size + 1));
    Workers workers(static_cast<uint32_t>(std::min<size_t>(threads, starts_.size())), bufferSize);
    workers_ = &workers;

    // One range: one scan, unless it gives up. (Polygons are kept only by counting them first.)
    if (starts_.size() == 1 && !(options_.flags & ZEL_LOAD_POLYGONS)) {
        Status status;
        if (readOnce(&status)) {
            if (status.ok) *out = std::exchange(model_, nullptr);
            return status;
        }
        readAgain();
    }

    Status status = count();
    if (!status.ok) return status;
    status = allocate();
    if (!status.ok) return status;
    status = fill();
    if (!status.ok) return status;
    *out = model_;
    model_ = nullptr;
    return status;
}

// Reads the input in one filling scan whose arrays grow as it goes (see Growth), which spares the
// counting scan and a second read of the input. The scan's statements are delivered as the
// counting scan would have delivered them: the warnings of the load flags first, then the
// not-found lines. True when the read is done (*status its outcome: a library can fail it); false
// when the scan gave up, having delivered nothing.
bool RangeReader::readOnce(Status* status) {
    if (libraries_) {
        recorder_ = [this](const std::string& path, std::string& text) {
            const bool found = (*options_.libraries)(path, text);
            answers_.push_back({path, found, found ? text : std::string()});
            return found;
        };
        libraries_ = &recorder_;
    }
    FlagWarnings warnings(path_, input_, options_);
    Status failed;          // a library's
    uint64_t failedAt = 0;  // the offset of its "mtllib"
    index_.add("default");
    Growth growth;
    growth.index = &index_;
    growth.maxBytes = options_.maxBytes;
    // About one element or triangle in 64 bytes: more than exporters' files hold of any one kind.
    // (Under a byte limit the arrays start small, so that no one of them takes it all.)
    if (!options_.maxBytes)
        growth.firstCapacity = std::max<uint64_t>(growth.firstCapacity, input_.size / 64);
    growth.faceStarts = (options_.flags & ZEL_LOAD_CONCAVE_POLYGONS) != 0;
    growth.library = [&](const std::string& name, bool whole, uint64_t at) {
        for (const std::string& each : libraryNames({name, at, whole})) {
            failed = loadLibrary(each, at, warnings);
            failedAt = at;
            if (!failed.ok) return false;
        }
        return true;
    };
    growth.unknown = [&](std::string keyword, uint64_t at) {
        std::vector<CountReport::Unknown> one{{std::move(keyword), at}};
        warnings.unknownKeywords(one);
    };
    FillReport report;
    try {
        fillRange(input_, workers_->mine(), options_.flags, index_, 0, UINT64_MAX, FillState{},
                  FillLimits::growing(&growth), &report);
    } catch (const std::bad_alloc&) {
        return false;  // arrays grown to twice their need may not fit where exact ones do
    }
    if (!failed.ok) {
        // The scan stops at its first doubt, so it read everything before as both scans would.
        warnings.deliver(failedAt);
        failed.line = lineOf(input_, failedAt);
        *status = failed;
        return true;
    }
    if (report.overflow || !report.failure.ok || report.ioError) return false;

    // The counts, and every array cut to them (a model without elements of a kind has none of
    // that array, but it always has its positions, its triangles and its groups' lists).
    ZelModel* m = model_;
    m->vertexcount = report.end.vertex - 1;
    m->normalcount = report.end.normal - 1;
    m->texcoordcount = report.end.texcoord - 1;
    m->trianglecount = report.end.triangle;
    counted_.assign(index_.groups.size(), 0);
    for (const auto& entry : report.stored) counted_[entry.first] = entry.second;
    colors_ = m->colors != nullptr;
    smoothing_ = report.smoothing != kInheritedSmoothing;
    if (options_.maxBytes && arrayBytes() > options_.maxBytes) return false;  // the failure's
    auto cut = [](auto*& array, uint64_t count) {
        using T = std::remove_reference_t<decltype(*array)>;
        if (!array) {
            array = static_cast<T*>(allocateZeroed(count, sizeof(T)));
        } else if (void* shrunk = std::realloc(array, count ? count * sizeof(T) : 1)) {
            array = static_cast<T*>(shrunk);
        }  // a block that cannot shrink keeps its bytes
    };
    cut(m->vertices, 3 * (uint64_t{m->vertexcount} + 1));
    if (m->normals) cut(m->normals, 3 * (uint64_t{m->normalcount} + 1));
    if (m->texcoords) cut(m->texcoords, 2 * (uint64_t{m->texcoordcount} + 1));
    if (m->colors) cut(m->colors, 3 * (uint64_t{m->vertexcount} + 1));
    cut(m->triangles, m->trianglecount);
    if (smoothing_) cut(m->smoothinggroups, m->trianglecount);
    for (size_t id = 0; id < index_.groups.size(); id++) {
        ZelGroup* group = index_.groups[id];
        group->trianglecount = static_cast<uint32_t>(counted_[id]);
        cut(group->triangleidx, group->trianglecount);
    }

    warnings.deliver(UINT64_MAX);
    indexMaterials();
    std::vector<uint32_t> resolved(growth.materials.size());
    for (size_t i = 0; i < resolved.size(); i++) {
        auto found = index_.materials.find(growth.materials[i]);
        if (!found) warn(options_, materialNotFound(growth.materials[i].c_str()));
        resolved[i] = found ? found->second : 0;
    }
    for (const auto& set : report.materials)
        index_.groups[set.first]->material =
            set.second == kInherited ? 0 : resolved[set.second & ~kPendingMaterial];
    if (index_.faceStarts) cutFaces();
    return true;
}

// After readOnce gave up: a new model, for the reading by both scans, which is given the answers
// the caller's library provider gave readOnce, in the same order, instead of asking it again.
void RangeReader::readAgain() {
    if (libraries_) {
        replayer_ = [this](const std::string& path, std::string& text) {
            if (replayed_ < answers_.size() && answers_[replayed_].path == path) {
                const Answer& answer = answers_[replayed_++];
                text = answer.text;
                return answer.found;
            }
            replayed_ = answers_.size();  // asked otherwise: the caller answers from here on
            return (*options_.libraries)(path, text);
        };
        libraries_ = &replayer_;
    }
    zelFreeModel(model_);
    std::free(index_.faceStarts);
    index_ = ModelIndex{};
    counted_.clear();
    colors_ = smoothing_ = false;
    model_ = static_cast<ZelModel*>(allocateZeroed(1, sizeof(ZelModel)));
    model_->path = copyString(path_);
    index_.model = model_;
}

// Counts every range, each from its guessed start, and takes the reports in file order; a range
// whose guess was wrong is counted again from where the range before it ended.
Status RangeReader::count() {
    std::vector<CountReport> reports(starts_.size());
    workers_->run(reports.size(), [&](size_t range, std::vector<char>* buffer) {
        countRange(input_, buffer, options_.flags, starts_[range], stop(range), &reports[range]);
    });

    FlagWarnings warnings(path_, input_, options_);
    index_.add("default");
    counted_.assign(1, 0);
    plans_.resize(reports.size());
    uint64_t expected = reports.empty() ? 0 : reports[0].first;
    for (size_t range = 0; range < reports.size(); range++) {
        CountReport& report = reports[range];
        if (report.first != expected) {
            report = CountReport{};
            countRange(input_, workers_->mine(), options_.flags, expected, stop(range), &report);
        }
        ZEL_ASSERT(report.first == expected && report.next >= report.first);
        Status status = takeReport(range, report, warnings);
        if (!status.ok) return status;
        expected = report.next;
    }
    warnings.deliver(UINT64_MAX);
    return setCounts();
}

// Takes the report of a range, the ranges before it taken: its warnings and libraries, its
// failure, then its counts.
Status RangeReader::takeReport(size_t range, CountReport& report, FlagWarnings& warnings) {
    warnings.unknownKeywords(report.unknown);
    Status status = loadLibraries(report, warnings);
    if (!status.ok) return status;
    if (report.ioError) {
        warnings.deliver(UINT64_MAX);
        return readError();
    }
    if (!report.failure.ok) {
        warnings.deliver(report.next);
        return report.failure;
    }
    colors_ |= report.colors;
    planFill(range, report);
    return Status{};
}

// Reads the material libraries a range names, in file order. A library that fails the read does
// so on the line of its "mtllib", after the warnings before it.
Status RangeReader::loadLibraries(const CountReport& report, FlagWarnings& warnings) {
    for (const CountReport::Library& library : report.libraries) {
        for (const std::string& name : libraryNames(library)) {
            Status status = loadLibrary(name, library.offset, warnings);
            if (status.ok) continue;
            warnings.deliver(library.offset);
            status.line = lineOf(input_, library.offset);
            return status;
        }
    }
    return Status{};
}

// The libraries an "mtllib" line names: its one name in the documented dialect; under whole
// keywords each word of the line, unless the line as a whole, inner blanks kept, names a library
// that is there (exporters that allow blanks in file names write one name so).
std::vector<std::string> RangeReader::libraryNames(const CountReport::Library& library) const {
    if (!library.whole) return {library.name};
    const std::string& line = library.name;
    const bool blanks = std::any_of(line.begin(), line.end(),
                                    [](char c) { return isSpace(static_cast<unsigned char>(c)); });
    if (blanks) {
        const std::string path = libraryPath(model_, line.c_str());
        std::string text;
        struct stat about;
        if (libraries_ ? (*libraries_)(path, text)
                       : stat(path.c_str(), &about) == 0 && S_ISREG(about.st_mode))
            return {line};
    }
    std::vector<std::string> names;
    for (size_t at = 0; at < line.size();) {
        while (at < line.size() && isSpace(static_cast<unsigned char>(line[at]))) ++at;
        const size_t start = at;
        while (at < line.size() && !isSpace(static_cast<unsigned char>(line[at]))) ++at;
        if (at > start) names.push_back(line.substr(start, at - start));
    }
    return names;
}

// Reads one material library, which becomes the model's mtllib. One that cannot be read, or that
// ZEL_LOAD_CONFINED_LIBRARIES refuses, is a warning under ZEL_LOAD_MISSING_LIBRARIES, and
// otherwise the read's failure (its line for the caller to set).
Status RangeReader::loadLibrary(const std::string& name, uint64_t offset, FlagWarnings& warnings) {
    Status status;
    std::string warning;
    if ((options_.flags & ZEL_LOAD_CONFINED_LIBRARIES) &&
        !pathInside(dirName(model_->path), libraryPath(model_, name.c_str()))) {
        status = outsideLibrary(model_, name, &warning);
    } else {
        std::free(model_->mtllib);
        model_->mtllib = nullptr;
        model_->mtllib = copyString(name.c_str());
        status = readMTL(model_, model_->mtllib, libraries_, options_.flags);
        if (status.ok) return status;
        warning = missingLibraryWarning(model_, name);
    }
    if (options_.flags & ZEL_LOAD_MISSING_LIBRARIES) {
        warnings.missingLibrary(offset, std::move(warning));
        return Status{};
    }
    return status;
}

// The fill plan of a range from its counts and the totals before it: its start, its state there
// and its window in the triangle list of every group it adds to; then the totals move on.
void RangeReader::planFill(size_t range, const CountReport& report) {
    FillPlan& plan = plans_[range];
    plan.first = report.first;
    std::copy(totals_, totals_ + kCounts, plan.counts);
    plan.group = current_;
    std::vector<uint32_t> ids(report.groups.size());
    uint64_t grouped = 0;
    for (size_t entry = 0; entry < ids.size(); entry++) {
        ids[entry] = entry == 0 ? current_ : index_.add(report.groups[entry].first);
        counted_.resize(index_.groups.size());
        uint64_t triangles = report.groups[entry].second;
        grouped += triangles;
        if (triangles == 0) continue;
        GroupSlots& window = plan.groups[ids[entry]];
        if (window.limit == 0) window.next = static_cast<uint32_t>(counted_[ids[entry]]);
        counted_[ids[entry]] += triangles;
        window.limit = static_cast<uint32_t>(counted_[ids[entry]]);
    }
    ZEL_ASSERT(grouped == report.triangles);  // every triangle counted goes to one group
    shapes_.resize(index_.groups.size());
    for (size_t entry = 0; entry < report.shapes.size(); entry++)
        shapes_[ids[entry]] += report.shapes[entry];
    smoothing_ |= report.smoothing;
    current_ = ids[report.current];
    totals_[kVertices] += report.vertices;
    totals_[kNormals] += report.normals;
    totals_[kTexcoords] += report.texcoords;
    totals_[kTriangles] += report.triangles;
}

// The model's counts from the totals, once every range is taken.
Status RangeReader::setCounts() {
    ZEL_ASSERT(std::accumulate(counted_.begin(), counted_.end(), uint64_t{0}) ==
               totals_[kTriangles]);
    for (uint64_t total : totals_)
        if (total >= UINT32_MAX)
            return failure(Stream::Err, "zelReadOBJ() failed: \"%s\" holds too many elements.\n",
                           path_);
    model_->vertexcount = static_cast<uint32_t>(totals_[kVertices]);
    model_->normalcount = static_cast<uint32_t>(totals_[kNormals]);
    model_->texcoordcount = static_cast<uint32_t>(totals_[kTexcoords]);
    model_->trianglecount = static_cast<uint32_t>(totals_[kTriangles]);
    indexMaterials();
    return Status{};
}

// The materials by name, once every library is read.
void RangeReader::indexMaterials() {
    for (uint32_t i = 0; i < model_->materialcount; i++)
        index_.materials.emplace(model_->materials[i].name, i);  // keeps the first of equal names
}

// The bytes of the model's arrays, from its counts, the groups' triangles and shapes and whether
// it has colours and smoothing groups.
uint64_t RangeReader::arrayBytes() const {
    const ZelModel* m = model_;
    const uint64_t elements = uint64_t{m->vertexcount} + 1;
    uint64_t bytes = elements * 3 * sizeof(float) * (colors_ ? 2 : 1) +
                     uint64_t{m->trianglecount} * sizeof(ZelTriangle);
    if (m->normalcount) bytes += (uint64_t{m->normalcount} + 1) * 3 * sizeof(float);
    if (m->texcoordcount) bytes += (uint64_t{m->texcoordcount} + 1) * 2 * sizeof(float);
    for (uint64_t triangles : counted_) bytes += triangles * sizeof(uint32_t);
    for (const ShapeCounts& shapes : shapes_)
        bytes += (shapes.polygons + shapes.lines) * 2 * sizeof(uint32_t) +
                 (shapes.polygonCorners + shapes.lineCorners) * sizeof(ZelCorner) +
                 shapes.points * sizeof(uint32_t);
    if (smoothing_) bytes += uint64_t{m->trianglecount} * sizeof(uint32_t);
    return bytes;
}

Status RangeReader::allocate() {
    ZelModel* m = model_;
    shapes_.resize(index_.groups.size());
    for (const ShapeCounts& shapes : shapes_) index_.shapes |= shapes.any();
    const uint64_t bytes = arrayBytes();
    if (options_.maxBytes && bytes > options_.maxBytes)
        return failure(Stream::Err,
                       "zelReadOBJ() failed: \"%s\" needs %" PRIu64
                       " bytes of model arrays, more than the %" PRIu64 " allowed.\n",
                       path_, bytes, options_.maxBytes);

    for (size_t id = 0; id < index_.groups.size(); id++) {
        index_.capacity[id] = static_cast<uint32_t>(counted_[id]);
        index_.groups[id]->triangleidx =
            static_cast<uint32_t*>(zeroedArray(counted_[id], sizeof(uint32_t)));
    }
    m->vertices = static_cast<float*>(zeroedArray(3 * (size_t{m->vertexcount} + 1), sizeof(float)));
    if (colors_)
        m->colors =
            static_cast<float*>(zeroedArray(3 * (size_t{m->vertexcount} + 1), sizeof(float)));
    m->triangles = static_cast<ZelTriangle*>(zeroedArray(m->trianglecount, sizeof(ZelTriangle)));
    if (m->normalcount)
        m->normals =
            static_cast<float*>(zeroedArray(3 * (size_t{m->normalcount} + 1), sizeof(float)));
    if (m->texcoordcount)
        m->texcoords =
            static_cast<float*>(zeroedArray(2 * (size_t{m->texcoordcount} + 1), sizeof(float)));
    if (smoothing_)
        m->smoothinggroups =
            static_cast<uint32_t*>(zeroedArray(m->trianglecount, sizeof(uint32_t)));
    if ((options_.flags & ZEL_LOAD_CONCAVE_POLYGONS) && m->trianglecount)
        index_.faceStarts = static_cast<uint8_t*>(zel::allocate(m->trianglecount));
    if (index_.shapes) allocateShapes();
    return Status{};
}

// Each group's arrays for the shapes it was counted to hold. While the filling scan stores into
// them, polygoncount, linecount and pointcount and the last entries of polygonstart and linestart
// say how much room there is; fill() sets them to what was stored.
void RangeReader::allocateShapes() {
    for (size_t id = 0; id < index_.groups.size(); id++) {
        const ShapeCounts& counted = shapes_[id];
        ZelGroup* group = index_.groups[id];
        auto array = [](uint64_t count, size_t size) {
            return zeroedArray(count ? count : 1, size);
        };
        if (counted.polygons) {
            group->polygoncount = static_cast<uint32_t>(counted.polygons);
            group->polygonstart =
                static_cast<uint32_t*>(array(counted.polygons + 1, sizeof(uint32_t)));
            group->polygonstart[counted.polygons] = static_cast<uint32_t>(counted.polygonCorners);
            group->polygoncorners =
                static_cast<ZelCorner*>(array(counted.polygonCorners, sizeof(ZelCorner)));
            group->polygontriangle =
                static_cast<uint32_t*>(array(counted.polygons, sizeof(uint32_t)));
        }
        if (counted.lines) {
            group->linecount = static_cast<uint32_t>(counted.lines);
            group->linestart = static_cast<uint32_t*>(array(counted.lines + 1, sizeof(uint32_t)));
            group->linestart[counted.lines] = static_cast<uint32_t>(counted.lineCorners);
            group->linecorners =
                static_cast<ZelCorner*>(array(counted.lineCorners, sizeof(ZelCorner)));
        }
        if (counted.points) {
            group->pointcount = static_cast<uint32_t>(counted.points);
            group->pointidx = static_cast<uint32_t*>(array(counted.points, sizeof(uint32_t)));
        }
    }
}

FillState stateOf(const FillPlan& plan) {
    return FillState{static_cast<uint32_t>(plan.counts[kVertices] + 1),
                     static_cast<uint32_t>(plan.counts[kNormals] + 1),
                     static_cast<uint32_t>(plan.counts[kTexcoords] + 1),
                     static_cast<uint32_t>(plan.counts[kTriangles]), plan.group};
}

Status RangeReader::fill() {
    ZelModel* m = model_;
    // Shapes go into arrays that only a scan of the whole input fills in order: then one range.
    const size_t ranges = index_.shapes ? std::min<size_t>(plans_.size(), 1) : plans_.size();
    std::vector<uint32_t> stored(index_.groups.size(), 0);
    const FillLimits exact = FillLimits::exact(FillState{m->vertexcount + 1, m->normalcount + 1,
                                                         m->texcoordcount + 1, m->trianglecount, 0},
                                               &stored);

    // First runs: with one range its state is known, so it is the exact scan; with more, each
    // range is confined to its window.
    std::vector<FillReport> reports(ranges);
    std::vector<FillLimits> limits(ranges, exact);
    for (size_t range = 0; ranges > 1 && range < ranges; range++)
        limits[range] = FillLimits::guessed(
            range + 1 < ranges ? stateOf(plans_[range + 1]) : exact.end, &plans_[range].groups);
    auto fillStop = [&](size_t range) {
        return range + 1 < ranges ? plans_[range + 1].first : UINT64_MAX;
    };
    workers_->run(ranges, [&](size_t range, std::vector<char>* buffer) {
        fillRange(input_, buffer, options_.flags, index_, plans_[range].first, fillStop(range),
                  stateOf(plans_[range]), limits[range], &reports[range]);
    });

    // Each group's stored count against what the plans before the next range assumed.
    std::vector<int64_t> drift(index_.groups.size(), 0);
    size_t drifting = 0;
    auto shift = [&](uint32_t group, int64_t by) {
        bool before = drift[group] != 0;
        drift[group] += by;
        drifting += (drift[group] != 0) - before;
    };
    FillState truth;
    uint32_t material = 0;
    uint32_t smoothing = 0;  // the smoothing group where the next range begins
    std::vector<ShapeCounts> shapes(index_.shapes ? index_.groups.size() : 0);
    uint64_t expected = ranges ? plans_[0].first : 0;
    bool redone = false;
    for (size_t range = 0; range < ranges; range++) {
        FillReport& report = reports[range];
        if (report.overflow || report.first != expected || !(truth == stateOf(plans_[range])) ||
            drifting) {
            report = FillReport{};
            fillRange(input_, workers_->mine(), options_.flags, index_, expected, fillStop(range),
                      truth, exact, &report);
            redone = true;
        }
        for (const std::string& line : report.warnings) warn(options_, line);
        if (!report.failure.ok) return report.failure;
        if (report.ioError) return readError();
        // Ranges follow one another in file order, each from where the one before ended. (Not
        // said of a failed range: the line number of its failure was found by a scan of the input
        // that leaves its scanner's place unknown.)
        ZEL_ASSERT(report.first == expected && report.next >= report.first);
        for (const auto& set : report.materials)
            index_.groups[set.first]->material = set.second == kInherited ? material : set.second;
        if (report.material != kInherited) material = report.material;
        if (m->smoothinggroups) {
            // The range's triangles before its first "s" line are in the group current before it.
            for (uint32_t t = truth.triangle; t < report.firstSmoothing; t++)
                m->smoothinggroups[t] = smoothing;
            if (report.smoothing != kInheritedSmoothing) smoothing = report.smoothing;
        }
        for (const auto& entry : report.shapes) shapes[entry.first] += entry.second;
        uint64_t listed = 0;
        for (const auto& entry : report.stored) {
            stored[entry.first] += entry.second;
            shift(entry.first, entry.second);
            listed += entry.second;
            ZEL_ASSERT(stored[entry.first] <= index_.capacity[entry.first]);
        }
        // Every triangle stored is in one group's list.
        ZEL_ASSERT(listed == report.end.triangle - truth.triangle);
        for (const auto& window : plans_[range].groups)
            shift(window.first, -int64_t{window.second.limit - window.second.next});
        truth = report.end;
        expected = report.next;
    }

    ZEL_ASSERT(truth.vertex <= exact.end.vertex && truth.normal <= exact.end.normal &&
               truth.texcoord <= exact.end.texcoord && truth.triangle <= exact.end.triangle);

    // Vertex, normal and texture-coordinate slots the true scans did not reach are part of the
    // model all the same (its counts are the counting scan's) and may hold what a wrong guess
    // wrote: they are cleared, as they are in a fresh array, and such a vertex has no colour of
    // its own. Triangles and group lists end at what was stored.
    if (redone) {
        auto clear = [](float* array, uint32_t from, uint32_t count, int n) {
            if (array && from <= count)
                std::memset(&array[size_t{from} * n], 0, sizeof(float) * n * (count + 1 - from));
        };
        clear(m->vertices, truth.vertex, m->vertexcount, 3);
        clear(m->normals, truth.normal, m->normalcount, 3);
        clear(m->texcoords, truth.texcoord, m->texcoordcount, 2);
    }
    if (m->colors)
        for (size_t i = 3 * size_t{truth.vertex}; i < 3 * (size_t{m->vertexcount} + 1); i++)
            m->colors[i] = 1.0f;
    // Triangles that had no room in their group were dropped, so the count is what was stored.
    m->trianglecount = truth.triangle;
    for (size_t id = 0; id < index_.groups.size(); id++)
        index_.groups[id]->trianglecount = stored[id];
    for (size_t id = 0; id < shapes.size(); id++) {
        ZelGroup* group = index_.groups[id];
        group->polygoncount = static_cast<uint32_t>(shapes[id].polygons);
        group->linecount = static_cast<uint32_t>(shapes[id].lines);
        group->pointcount = static_cast<uint32_t>(shapes[id].points);
    }
    if (index_.faceStarts) cutFaces();
    return Status{};
}

// Cuts every face of more than three corners as ZEL_LOAD_CONCAVE_POLYGONS asks, now that every
// position is stored: its triangles, the fan the scans stored, are rewritten in place. The
// triangles are shared out among the reading threads in runs that begin at a face.
void RangeReader::cutFaces() {
    ZelModel* m = model_;
    const uint8_t* starts = index_.faceStarts;
    const uint32_t count = m->trianglecount;
    constexpr uint32_t kRun = 1u << 16;
    workers_->run((count + kRun - 1) / kRun, [&](size_t run, std::vector<char>*) {
        PolygonCutter cutter;
        const uint32_t begin = static_cast<uint32_t>(run) * kRun;
        const uint32_t end = std::min(count, begin + kRun);
        // The next face to cut from t on (a face begun before the run is not its own).
        auto toCut = [&](uint32_t t) {
            const void* at = std::memchr(starts + t, kFaceToCut, end - t);
            return at ? static_cast<uint32_t>(static_cast<const uint8_t*>(at) - starts) : end;
        };
        for (uint32_t t = toCut(begin); t < end;) {
            uint32_t next = t + 1;
            while (next < count && !starts[next]) next++;
            cutter.cutRun(m, t, next - t + 2);
            t = toCut(next < end ? next : end);
        }
    });
    std::free(index_.faceStarts);
    index_.faceStarts = nullptr;
}

}  // namespace

// Large blocks are mappings of their own, which realloc moves by remapping their pages: growing
// copies nothing, and pages never written take no memory. glibc gives a block a mapping of its own
// from a threshold that it raises, up to 32 MiB, each time a mapped block is freed; below it a
// block lies in the heap and grows by copying. So a block past a few hundred KiB is asked for as a
// mapping's worth, which no threshold keeps in the heap.
void* growArray(void* array, size_t bytes) {
#ifdef __GLIBC__
    constexpr size_t kMappedFrom = size_t{256} << 10, kMapping = size_t{33} << 20;
    const size_t asked = bytes >= kMappedFrom ? std::max(bytes, kMapping) : bytes;
#else
    const size_t asked = bytes;
#endif
    void* grown = std::realloc(array, asked ? asked : 1);
    if (!grown) throw std::bad_alloc();
    return onHugePages(grown, bytes);
}

Status readOBJInput(const char* path, const Input& input, const ReadOptions& options,
                    ZelModel** out) {
    try {
        return RangeReader(path, input, options).read(out);
    } catch (const std::bad_alloc&) {
        *out = nullptr;
        return outOfMemory("zelReadOBJ", "reading", path);
    }
}

}  // namespace zel
