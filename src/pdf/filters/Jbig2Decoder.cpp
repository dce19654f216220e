#include "pdf/filters/Jbig2Decoder.h"

#include "pdf/filters/Jbig2StreamScan.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" {
#include <jbig2.h>
}

namespace {

// The memory jbig2dec may use: it copies the input (twice over while its buffer grows), holds a
// few page-sized images at once (the page, a region being decoded, its reference or symbols),
// the symbol bitmaps of the globals, and contexts and tables that do not grow with the page.
// Bounding the memory also bounds the work of decoding regions and symbols of absurd sizes.
constexpr std::uint64_t kInputCopies = 2;
constexpr std::uint64_t kPageImages = 4;
constexpr std::uint64_t kGlobalsExpansion = 16;
constexpr std::uint64_t kFixedBudget = std::uint64_t(512) << 10;

// An allocator that refuses to hand out more than `budget` bytes in total, so that a segment
// claiming a huge image (a striped page of unknown height, a region, a symbol) fails inside
// jbig2dec instead of exhausting memory.
// jbig2dec passes the Jbig2Allocator pointer back to each call; it is the first member.
struct BudgetAllocator {
    Jbig2Allocator base;
    std::size_t budget = 0;
    std::size_t used = 0;
};

// Each block carries its size in front, so that free and realloc can settle the account.
constexpr std::size_t kHeader = alignof(std::max_align_t);

BudgetAllocator *budgetOf(Jbig2Allocator *allocator)
{
    return reinterpret_cast<BudgetAllocator *>(allocator);
}

void *blockStart(void *p)
{
    return static_cast<char *>(p) - kHeader;
}

std::size_t blockSize(void *p)
{
    std::size_t size = 0;
    std::memcpy(&size, blockStart(p), sizeof size);
    return size;
}

void *budgetAlloc(Jbig2Allocator *allocator, std::size_t size)
{
    BudgetAllocator *self = budgetOf(allocator);
    if (size > self->budget - self->used || size > SIZE_MAX - kHeader)
        return nullptr;
    void *block = std::malloc(size + kHeader);
    if (block == nullptr)
        return nullptr;
    std::memcpy(block, &size, sizeof size);
    self->used += size;
    return static_cast<char *>(block) + kHeader;
}

void budgetFree(Jbig2Allocator *allocator, void *p)
{
    if (p == nullptr)
        return;
    budgetOf(allocator)->used -= blockSize(p);
    std::free(blockStart(p));
}

void *budgetRealloc(Jbig2Allocator *allocator, void *p, std::size_t size)
{
    if (p == nullptr)
        return budgetAlloc(allocator, size);
    BudgetAllocator *self = budgetOf(allocator);
    const std::size_t old = blockSize(p);
    if (size > old && (size - old > self->budget - self->used || size > SIZE_MAX - kHeader))
        return nullptr;
    void *block = std::realloc(blockStart(p), size + kHeader);
    if (block == nullptr)
        return nullptr;
    std::memcpy(block, &size, sizeof size);
    self->used = self->used - old + size;
    return static_cast<char *>(block) + kHeader;
}

// jbig2dec reports through this callback instead of printing; the decode goes on as far as the
// library can take it, and whatever page it completes is used.
void ignoreJbig2Message(void *, const char *, Jbig2Severity, uint32_t)
{
}

struct ContextDeleter {
    void operator()(Jbig2Ctx *ctx) const { jbig2_ctx_free(ctx); }
};
struct GlobalContextDeleter {
    void operator()(Jbig2GlobalCtx *ctx) const { jbig2_global_ctx_free(ctx); }
};
using Context = std::unique_ptr<Jbig2Ctx, ContextDeleter>;
using GlobalContext = std::unique_ptr<Jbig2GlobalCtx, GlobalContextDeleter>;

Context newContext(BudgetAllocator &allocator, Jbig2GlobalCtx *globals)
{
    return Context(jbig2_ctx_new(&allocator.base, JBIG2_OPTIONS_EMBEDDED, globals, ignoreJbig2Message, nullptr));
}

std::uint64_t saturatingMulAdd(std::uint64_t sum, std::uint64_t a, std::uint64_t b)
{
    std::uint64_t product = 0;
    if (__builtin_mul_overflow(a, b, &product) || __builtin_add_overflow(sum, product, &sum))
        return UINT64_MAX;
    return sum;
}

// The declared page size counts when the page information segment gives it; either way no more
// than the output limit.
std::size_t memoryBudget(const Jbig2StreamScan &scan, qsizetype dataBytes, qsizetype globalsBytes, qint64 maxOutputBytes)
{
    const std::uint64_t pageBytes = std::min<std::uint64_t>(scan.pageBytes.value_or(maxOutputBytes), maxOutputBytes);
    std::uint64_t budget = kFixedBudget;
    budget = saturatingMulAdd(budget, kInputCopies, std::uint64_t(dataBytes) + std::uint64_t(globalsBytes));
    budget = saturatingMulAdd(budget, kGlobalsExpansion, std::uint64_t(globalsBytes));
    budget = saturatingMulAdd(budget, kPageImages, pageBytes);
    return std::size_t(std::min<std::uint64_t>(budget, SIZE_MAX));
}

void feed(Jbig2Ctx *ctx, QByteArrayView data)
{
    if (!data.isEmpty())
        jbig2_data_in(ctx, reinterpret_cast<const unsigned char *>(data.data()), std::size_t(data.size()));
}

// JBIG2 codes black as 1. The samples of a JBIG2Decode image are read like those of any 1-bit
// DeviceGray image or image mask, where 0 is black with the default Decode array, and conforming
// readers hand on JBIG2 data inverted (ISO 32000-1, 7.4.7); so every bit is inverted here, and
// the padding bits at the end of each row are set to 1 (white).
std::optional<QByteArray> copyInverted(const Jbig2Image &page, qint64 maxOutputBytes)
{
    if (page.width == 0 || page.height == 0 || page.data == nullptr)
        return std::nullopt;
    const qint64 rowBytes = (qint64(page.width) + 7) / 8;
    qint64 total = 0;
    if (__builtin_mul_overflow(rowBytes, qint64(page.height), &total) || total > maxOutputBytes
        || rowBytes > qint64(page.stride))
        return std::nullopt;

    QByteArray out(total, Qt::Uninitialized);
    const std::uint8_t padding = (page.width % 8) != 0 ? std::uint8_t(0xff >> (page.width % 8)) : 0;
    for (qint64 y = 0; y < page.height; ++y) {
        const std::uint8_t *src = page.data + y * qint64(page.stride);
        auto *dst = reinterpret_cast<std::uint8_t *>(out.data() + y * rowBytes);
        for (qint64 i = 0; i < rowBytes; ++i)
            dst[i] = std::uint8_t(~src[i]);
        dst[rowBytes - 1] |= padding;
    }
    return out;
}

} // namespace

std::optional<QByteArray> decodeJbig2(QByteArrayView data, QByteArrayView globals, qint64 maxOutputBytes)
{
    if (data.isEmpty() || maxOutputBytes <= 0)
        return std::nullopt;

    // Only the segments before one that announces absurd work are decoded (see Jbig2StreamScan).
    // A page declared larger than the output limit is refused before any work.
    const Jbig2StreamScan scan = scanJbig2Stream(data);
    if (!scan.hasPage || scan.pageBytes.value_or(0) > std::uint64_t(maxOutputBytes))
        return std::nullopt;
    BudgetAllocator allocator;
    allocator.base = {budgetAlloc, budgetFree, budgetRealloc};
    allocator.budget = memoryBudget(scan, data.size(), globals.size(), maxOutputBytes);

    // The globals go through a context of their own, which then becomes the global context
    // (jbig2_make_global_ctx takes the context over).
    GlobalContext globalContext;
    if (!globals.isEmpty()) {
        Context globalsReader = newContext(allocator, nullptr);
        if (!globalsReader)
            return std::nullopt;
        feed(globalsReader.get(), globals.first(scanJbig2Stream(globals).acceptedLength));
        globalContext.reset(jbig2_make_global_ctx(globalsReader.release()));
    }

    std::optional<QByteArray> result;
    {
        Context ctx = newContext(allocator, globalContext.get());
        if (!ctx)
            return std::nullopt;
        feed(ctx.get(), data.first(scan.acceptedLength));
        // A PDF stream need not end with an end-of-page segment; completing the page also fixes
        // the height of a striped page of unknown height (0xffffffff) at its last stripe.
        Jbig2Image *page = jbig2_page_out(ctx.get());
        if (page == nullptr && jbig2_complete_page(ctx.get()) == 0)
            page = jbig2_page_out(ctx.get());
        if (page != nullptr) {
            result = copyInverted(*page, maxOutputBytes);
            jbig2_release_page(ctx.get(), page);
        }
    } // the page context goes before the global context it refers to
    return result;
}
