/* Procedures that the engine tests name as "<library file> <procedure>". They touch only what they are given. */
#define TESTLIB_API __attribute__((visibility("default")))

static void* lastArgument;

/* A body step callback: counts into the int that the user data points at. */
TESTLIB_API int CountStep(void* body, void* userData)
{
    (void)body;
    if (userData)
        ++*(int*)userData;
    return 1;
}

/* A named call: remembers its argument. */
TESTLIB_API int RecordArgument(void* argument)
{
    lastArgument = argument;
    return 1;
}

TESTLIB_API void* LastArgument(void)
{
    return lastArgument;
}
