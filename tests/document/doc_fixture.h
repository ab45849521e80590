// A document over a private registry file, with a scripted user interface and the
// experiment's parts (I/O layer, console, task runner) that a test attaches it to.
#pragma once
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

#include "document/orvixdoc.h"
#include "platform/settings/registry.h"
#include "platform/ui/ui.h"
#include "runner/experiment.h"
#include "tests/common/test_support.h"

class DocTest : public testing::Test {
protected:
    void SetUp() override
    {
        regPath = dir + "/Orvix.reg";
        setenv("ORVIX_REGISTRY", regPath.c_str(), 1);
        setenv("ORVIX_DRIVES", (dir + "/drives").c_str(), 1);
        orvix::ReloadRegistry();
    }
    void TearDown() override
    {
        unsetenv("ORVIX_REGISTRY");
        unsetenv("ORVIX_DRIVES");
        orvix::ReloadRegistry();
    }
    // Writes registry values: key path relative to Software\Morvane\Orvix.
    static void SetReg(const std::string& key, const char* name, const std::string& data)
    {
        orvix::HKEY k;
        ASSERT_EQ(orvix::RegCreateKeyEx(orvix::HKEY_CURRENT_USER, ("Software\\Morvane\\Orvix\\" + key).c_str(), &k),
                  orvix::ERROR_SUCCESS);
        orvix::RegSetValueEx(k, name, data);
        orvix::RegCloseKey(k);
    }
    static std::string GetReg(const std::string& key, const char* name)
    {
        orvix::HKEY k;
        if (orvix::RegOpenKeyEx(orvix::HKEY_CURRENT_USER, ("Software\\Morvane\\Orvix\\" + key).c_str(), &k)
            != orvix::ERROR_SUCCESS)
            return "<no key>";
        std::string data;
        long rc = orvix::RegQueryValueEx(k, name, &data);
        orvix::RegCloseKey(k);
        return rc == orvix::ERROR_SUCCESS ? data : "<no value>";
    }

    // First, so that it goes last, after everything that writes into it.
    orvix_test::ScopedTempDir temp{"orvix-doc"};
    orvix::CScriptedUI ui;
    std::string dir = temp.Path(), regPath;
    orvix::CExperiment experiment;
    orvix::CDeviceIO& deviceIO = experiment.deviceIO;
};
