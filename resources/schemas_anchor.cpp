// The schema resources need a library to hang on; this library has no code of its own.
namespace pravik {
int schemasAnchor = 0;
}
