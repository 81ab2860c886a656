/* A procedure for the library-name lookup tests to find. */
__attribute__((visibility("default"))) int ZevNamesTestProc(int x)
{
    return 2 * x + 1;
}
