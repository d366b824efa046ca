#pragma once

#include <functional>
#include <map>
#include <vector>

namespace keyglass {

/// The views watching the store. An observer may add or remove observers while it is being notified.
class Observers
{
public:
    using Observer = std::function<void()>;

    int add(Observer observer)
    {
        const int token = m_nextToken++;
        m_observers.emplace(token, std::move(observer));
        return token;
    }
    void remove(int token) { m_observers.erase(token); }

    void notifyAll()
    {
        std::vector<int> tokens;
        tokens.reserve(m_observers.size());
        for (const auto& [token, observer] : m_observers)
            tokens.push_back(token);
        for (int token : tokens) {
            if (auto it = m_observers.find(token); it != m_observers.end())
                it->second();
        }
    }

private:
    std::map<int, Observer> m_observers;
    int m_nextToken = 1;
};

} // namespace keyglass
