// SPDX-License-Identifier: MIT
#include "zelmor/app/Application.h"

int main(int argc, char** argv) { return zelmor::app::run(argc, argv); }
