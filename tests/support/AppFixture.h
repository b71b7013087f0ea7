#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The fake machine of the window tests: the machine of MachineFixture and scripted answers
// for every modal question the windows ask.

#include "support/FakeDialogs.h"
#include "support/MachineFixture.h"

namespace korvello::test {

class AppFixture : public MachineFixture {
public:
    FakeDialogs dialogs;
};

} // namespace korvello::test
