// The printer software's component files in the real system directory, for tests of the
// component check. Whatever the sandbox finds under the components' names is set aside
// and put back at the end, together with wininit.ini and the renames registered for the
// next restart: an outdated component left behind would stop every later instance.
//
//     ComponentSandbox sandbox;
//     ASSERT_TRUE(sandbox.Put("QRMTOV.DLL", "ver_4_99_0_0.dll"));
//     EXPECT_EQ(0, CheckComponents());
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/test_files.h"

std::string SystemDirectory();                       // as GetSystemDirectoryA says it
std::string FixturePath(const std::string &fixture); // <bin>\fixtures\<fixture>

class ComponentSandbox {
public:
    ComponentSandbox();
    ~ComponentSandbox();
    ComponentSandbox(const ComponentSandbox &) = delete;
    ComponentSandbox &operator=(const ComponentSandbox &) = delete;

    // Copies a fixture into the system directory under a component's name.
    bool Put(const std::string &name, const std::string &fixture) const;
    bool Exists(const std::string &name) const;
    std::string Content(const std::string &name) const;
    void Remove(const std::string &name) const;

    // The [Rename] section of wininit.ini in the Windows directory, as lines "key=value".
    std::vector<std::string> RenameLines() const;
    bool WininitExists() const;
    // Renames registered for the next restart whose source is one of the components' ".tmp".
    std::vector<std::pair<std::string, std::string>> PendingRenames() const;

    static const std::vector<std::string> &FileNames(); // every name the sandbox looks after

private:
    std::map<std::string, std::string> stashed_;
    bool wininitExisted_ = false;
    std::string wininit_;
};
