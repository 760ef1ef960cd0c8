// The form resources need a library to hang on; this library has no code of its own.
namespace pravik {
int formsAnchor = 0;
}
