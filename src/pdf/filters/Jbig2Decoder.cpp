#include "pdf/filters/Jbig2Decoder.h"

#include "pdf/filters/Jbig2StreamScan.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <jbig2.h>
}

namespace zembrix {

namespace {

// The memory jbig2dec may use: it copies the input (twice over while its buffer grows), holds a
// few page-sized images at once (the page, a region being decoded, its reference or symbols),
// the symbol bitmaps of the globals, and contexts and tables that do not grow with the page.
// Bounding the memory also bounds the work of decoding regions and symbols of absurd sizes.
// Huffman coding needs more: jbig2dec builds each table as a lookup of up to 2^16 entries of
// 16 bytes (1 MB). The standard tables a text region uses at once, its symbol code table
// included, come to about 2 MB; a custom table segment stays for the whole decode.
// Arithmetic-coded streams get none of that room, which keeps the work on damaged ones small.
constexpr std::uint64_t kInputCopies = 2;
constexpr std::uint64_t kPageImages = 4;
constexpr std::uint64_t kGlobalsExpansion = 16;
constexpr std::uint64_t kFixedBudget = std::uint64_t(512) << 10;
constexpr std::uint64_t kHuffmanBudget = std::uint64_t(4) << 20;
constexpr std::uint64_t kCustomTableBudget = std::uint64_t(1) << 20;

// jbig2dec reports progress and damage through its message callback, also from inside loops that
// a damaged stream can keep going for minutes without allocating anything (a symbol dictionary of
// empty height classes read from the bytes past its end gives two messages per class, millions a
// second). So the messages measure the work: past this many, plus kMessagesPerByte per input
// byte, the decode is abandoned. A sound stream gives a few messages per segment and symbol.
constexpr std::uint64_t kFreeMessages = std::uint64_t(1) << 20;
constexpr std::uint64_t kMessagesPerByte = 16;

// Each block carries a header in front: its size, so that free and realloc can settle the
// account, and its links in the list of live blocks, so that an abandoned decode can free all
// of jbig2dec's memory without jbig2dec's help.
struct BlockHeader {
    BlockHeader *prev;
    BlockHeader *next;
    std::size_t size;
};
constexpr std::size_t kHeader =
    (sizeof(BlockHeader) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);

// An allocator that refuses to hand out more than `budget` bytes in total, so that a segment
// claiming a huge image (a striped page of unknown height, a region, a symbol) fails inside
// jbig2dec instead of exhausting memory. It keeps every live block in a list (`live` is the
// list's sentinel).
// jbig2dec passes the Jbig2Allocator pointer back to each call; it is the first member.
struct BudgetAllocator {
    Jbig2Allocator base;
    std::size_t budget = 0;
    std::size_t used = 0;
    BlockHeader live{&live, &live, 0};

    BudgetAllocator() = default;
    ~BudgetAllocator() { releaseAll(); }
    BudgetAllocator(const BudgetAllocator &) = delete;
    BudgetAllocator &operator=(const BudgetAllocator &) = delete;

    // Frees every block still handed out; the contexts living in them are gone with them.
    void releaseAll()
    {
        while (live.next != &live) {
            BlockHeader *block = live.next;
            live.next = block->next;
            std::free(block);
        }
        live.prev = &live;
        used = 0;
    }
};

BudgetAllocator *budgetOf(Jbig2Allocator *allocator)
{
    return reinterpret_cast<BudgetAllocator *>(allocator);
}

BlockHeader *headerOf(void *p)
{
    return reinterpret_cast<BlockHeader *>(static_cast<char *>(p) - kHeader);
}

void *payloadOf(BlockHeader *block)
{
    return reinterpret_cast<char *>(block) + kHeader;
}

void link(BudgetAllocator *self, BlockHeader *block)
{
    block->prev = &self->live;
    block->next = self->live.next;
    self->live.next->prev = block;
    self->live.next = block;
}

void unlink(BlockHeader *block)
{
    block->prev->next = block->next;
    block->next->prev = block->prev;
}

void *budgetAlloc(Jbig2Allocator *allocator, std::size_t size)
{
    BudgetAllocator *self = budgetOf(allocator);
    if (size > self->budget - self->used || size > SIZE_MAX - kHeader)
        return nullptr;
    auto *block = static_cast<BlockHeader *>(std::malloc(size + kHeader));
    if (block == nullptr)
        return nullptr;
    block->size = size;
    link(self, block);
    self->used += size;
    return payloadOf(block);
}

void budgetFree(Jbig2Allocator *allocator, void *p)
{
    if (p == nullptr)
        return;
    BlockHeader *block = headerOf(p);
    unlink(block);
    budgetOf(allocator)->used -= block->size;
    std::free(block);
}

void *budgetRealloc(Jbig2Allocator *allocator, void *p, std::size_t size)
{
    if (p == nullptr)
        return budgetAlloc(allocator, size);
    BudgetAllocator *self = budgetOf(allocator);
    BlockHeader *block = headerOf(p);
    const std::size_t old = block->size;
    if (size > old && (size - old > self->budget - self->used || size > SIZE_MAX - kHeader))
        return nullptr;
    unlink(block);
    auto *moved = static_cast<BlockHeader *>(std::realloc(block, size + kHeader));
    if (moved == nullptr) {
        link(self, block); // realloc left the old block as it was
        return nullptr;
    }
    moved->size = size;
    link(self, moved);
    self->used = self->used - old + size;
    return payloadOf(moved);
}

// One decode: the allocator every context of it uses, the message count that ends a decode
// step which runs away (see kFreeMessages), and the first error jbig2dec reported in the step.
struct Jbig2DecodeState {
    BudgetAllocator allocator;
    std::uint64_t messages = 0;
    std::uint64_t messageLimit = 0;
    bool armed = false; // inside runStep: the callback may jump out
    std::jmp_buf escape;
    std::array<char, 200> error{}; // empty while there is none
};

// Warnings after which the page lacks the symbols a text region places: it would come out
// blank where they belong. (Compared by their beginnings: a runaway decode gives millions of
// other warnings.)
bool isMissingSymbolsWarning(const char *message)
{
    for (const char *start :
         {"text region refers to no symbol dictionaries", "ignoring out of range symbol ID", "missing glyph"})
        if (std::strncmp(message, start, std::strlen(start)) == 0)
            return true;
    return false;
}

// jbig2dec's messages are not shown; the decode goes on as far as the library can take it. An
// error (or a warning that symbols are missing) is kept: it marks the page as not decoded.
// This is the one place that leaves jbig2dec abruptly: the jump lands in runStep, whose caller
// frees all of jbig2dec's memory and never touches the abandoned contexts again.
void countJbig2Message(void *data, const char *message, Jbig2Severity severity, uint32_t)
{
    Jbig2DecodeState *state = static_cast<Jbig2DecodeState *>(data);
    if (state->error[0] == '\0' && message != nullptr
        && (severity == JBIG2_SEVERITY_FATAL
            || (severity == JBIG2_SEVERITY_WARNING && isMissingSymbolsWarning(message))))
        std::snprintf(state->error.data(), state->error.size(), "%s", message);
    if (state->armed && ++state->messages > state->messageLimit)
        std::longjmp(state->escape, 1);
}

Jbig2Ctx *newContext(Jbig2DecodeState &state, Jbig2GlobalCtx *globals)
{
    return jbig2_ctx_new(&state.allocator.base, JBIG2_OPTIONS_EMBEDDED, globals, countJbig2Message, &state);
}

void feed(Jbig2Ctx *ctx, QByteArrayView data)
{
    if (!data.isEmpty())
        jbig2_data_in(ctx, reinterpret_cast<const unsigned char *>(data.data()), std::size_t(data.size()));
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
std::size_t memoryBudget(const Jbig2StreamScan &scan, const Jbig2StreamScan &globalsScan, qsizetype dataBytes,
                         qsizetype globalsBytes, qint64 maxOutputBytes)
{
    const std::uint64_t pageBytes = std::min<std::uint64_t>(scan.pageBytes.value_or(maxOutputBytes), maxOutputBytes);
    std::uint64_t budget = kFixedBudget;
    if (scan.huffmanSegments + globalsScan.huffmanSegments > 0)
        budget += kHuffmanBudget;
    budget =
        saturatingMulAdd(budget, kCustomTableBudget, std::uint64_t(scan.tableSegments) + globalsScan.tableSegments);
    budget = saturatingMulAdd(budget, kInputCopies, std::uint64_t(dataBytes) + std::uint64_t(globalsBytes));
    budget = saturatingMulAdd(budget, kGlobalsExpansion, std::uint64_t(globalsBytes));
    budget = saturatingMulAdd(budget, kPageImages, pageBytes);
    return std::size_t(std::min<std::uint64_t>(budget, SIZE_MAX));
}

// The two decode steps; their results are left in the caller's Steps.
struct Steps {
    Jbig2GlobalCtx *globals = nullptr;
    Jbig2Ctx *page = nullptr;
    Jbig2Image *image = nullptr;
};

void readGlobals(Jbig2DecodeState &state, QByteArrayView globals, Steps &steps)
{
    Jbig2Ctx *reader = newContext(state, nullptr);
    if (reader == nullptr)
        return;
    // The scan's result (which owns memory) is gone before jbig2dec may jump out of feed().
    const qsizetype accepted = scanJbig2Stream(globals).acceptedLength;
    feed(reader, globals.first(accepted));
    steps.globals = jbig2_make_global_ctx(reader); // takes the reading context over
}

void readPage(Jbig2DecodeState &state, QByteArrayView data, Steps &steps)
{
    steps.page = newContext(state, steps.globals);
    if (steps.page == nullptr)
        return;
    feed(steps.page, data);
    // A PDF stream need not end with an end-of-page segment; completing the page also fixes
    // the height of a striped page of unknown height (0xffffffff) at its last stripe.
    steps.image = jbig2_page_out(steps.page);
    if (steps.image == nullptr && jbig2_complete_page(steps.page) == 0)
        steps.image = jbig2_page_out(steps.page);
}

// Runs one step with a message budget of its own; false when the step ran past it. Nothing
// here or in the step has a destructor to run, so the jump back to setjmp skips none.
bool runStep(Jbig2DecodeState &state, void (*step)(Jbig2DecodeState &, QByteArrayView, Steps &), QByteArrayView input,
             std::uint64_t inputBytes, Steps &steps)
{
    state.messages = 0;
    state.error[0] = '\0';
    state.messageLimit = saturatingMulAdd(kFreeMessages, kMessagesPerByte, inputBytes);
    if (setjmp(state.escape) != 0) {
        state.armed = false;
        return false;
    }
    state.armed = true;
    step(state, input, steps);
    state.armed = false;
    return true;
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

std::optional<QByteArray> decodeJbig2(QByteArrayView data, QByteArrayView globals, qint64 maxOutputBytes,
                                      QString *failure)
{
    const auto fail = [failure](const QString &why) -> std::optional<QByteArray> {
        if (failure != nullptr)
            *failure = why;
        return std::nullopt;
    };
    if (data.isEmpty() || maxOutputBytes <= 0)
        return fail(QStringLiteral("it is empty"));

    // Only the segments before one that announces absurd work are decoded (see Jbig2StreamScan):
    // such a page is incomplete. A page declared larger than the output limit is refused before
    // any work.
    const Jbig2StreamScan scan = scanJbig2Stream(data);
    if (!scan.hasPage)
        return fail(QStringLiteral("it has no page information segment"));
    if (scan.pageBytes.value_or(0) > std::uint64_t(maxOutputBytes))
        return fail(QStringLiteral("its page is larger than the decoded-size limit"));
    if (scan.acceptedLength < data.size())
        return fail(QStringLiteral("a text region announces far more symbols than its data can hold"));
    Jbig2DecodeState state;
    state.allocator.base = {budgetAlloc, budgetFree, budgetRealloc};
    state.allocator.budget = memoryBudget(scan, scanJbig2Stream(globals), data.size(), globals.size(), maxOutputBytes);

    // The globals go through a context of their own, which then becomes the global context.
    // Globals that run away are dropped and the page is decoded without them, as with globals
    // that jbig2dec cannot read; their errors matter only if the page needs what they lack,
    // which the page's own decode reports.
    Steps steps;
    const std::uint64_t inputBytes = std::uint64_t(data.size()) + std::uint64_t(globals.size());
    if (!globals.isEmpty() && !runStep(state, readGlobals, globals, inputBytes, steps)) {
        state.allocator.releaseAll();
        steps = Steps();
    }
    if (!runStep(state, readPage, data, inputBytes, steps)) {
        state.allocator.releaseAll();
        return fail(QStringLiteral("decoding it takes far more work than its size allows"));
    }

    std::optional<QByteArray> result;
    QString error;
    if (state.error[0] != '\0')
        error = QStringLiteral("jbig2dec: %1").arg(QString::fromLatin1(state.error.data()));
    else if (steps.image == nullptr)
        error = QStringLiteral("it holds no complete page");
    else if (!(result = copyInverted(*steps.image, maxOutputBytes)))
        error = QStringLiteral("its page is larger than the decoded-size limit");
    if (steps.image != nullptr)
        jbig2_release_page(steps.page, steps.image);
    // The page context goes before the global context it refers to.
    if (steps.page != nullptr)
        jbig2_ctx_free(steps.page);
    if (steps.globals != nullptr)
        jbig2_global_ctx_free(steps.globals);
    if (!error.isEmpty())
        return fail(error);
    return result;
}

} // namespace zembrix
