// Placeholder so that a folder library without sources still links.
namespace {
[[maybe_unused]] int zembrixEmptyUnit = 0;
}
