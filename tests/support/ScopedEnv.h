// Sets environment variables for one test and puts the old values back when it ends.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ScopedEnv
{
public:
    ScopedEnv() = default;
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

    void Set(const char *name, const std::string &value)
    {
        Remember(name);
        setenv(name, value.c_str(), 1);
    }

    void Unset(const char *name)
    {
        Remember(name);
        unsetenv(name);
    }

    // The interface language as the system names it ("en_US.UTF-8", "ru_RU.UTF-8"), with
    // nothing set that would take precedence over LANG.
    void SetLanguage(const char *lang)
    {
        Unset("LC_ALL");
        Unset("LC_MESSAGES");
        Set("LANG", lang);
    }

    ~ScopedEnv()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }

private:
    void Remember(const char *name)
    {
        const char *old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
