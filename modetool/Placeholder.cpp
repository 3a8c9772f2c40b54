// Anchors the mode tool's library until its first sources arrive.
namespace varnok::mode {
int ModeToolLibraryVersion() { return 1; }
}  // namespace varnok::mode
