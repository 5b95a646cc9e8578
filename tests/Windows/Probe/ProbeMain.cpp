#include <cstdio>

int wmain(int, wchar_t**)
{
    std::printf("{\"probe\":\"ok\"}\n");
    return 0;
}
