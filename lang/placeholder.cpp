// Keeps the library non-empty until the text tables arrive.
namespace velmora {
int langLibraryAnchor = 0;
}
