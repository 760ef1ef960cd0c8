// A small executable that carries a version resource of its own, for the tests that read one from a
// module other than themselves.
int main()
{
    return 0;
}
