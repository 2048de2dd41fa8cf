#include <gtest/gtest.h>

int main(int argc, char** argv) { return testing::InitGoogleTest(&argc, argv), RUN_ALL_TESTS(); }
