// Entry of every test program: the development host is set up once, as the
// launcher sets itself up before it loads plug-ins.
#include <gtest/gtest.h>

#include "devhost/devhost.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    devhost::Init();
    return RUN_ALL_TESTS();
}
