#include <algorithm>

#include "host/ui/form.h"

namespace host {

TApplication& Application() {
    static TApplication application;
    return application;
}

UiPlatform& TApplication::Platform() const {
    if (m_platform == nullptr) {
        throw EInvalidOperation("No user-interface platform is set");
    }
    return *m_platform;
}

void TApplication::Release(TForm* form) {
    if (form != nullptr &&
        std::find(m_released.begin(), m_released.end(), form) == m_released.end()) {
        m_released.push_back(form);
    }
}

void TApplication::ProcessReleases() {
    if (m_processingReleases) {
        return;
    }
    m_processingReleases = true;
    try {
        while (!m_released.empty()) {
            TForm* form = m_released.front();
            m_released.erase(m_released.begin());
            destroyForm(form);
        }
    } catch (...) {
        m_processingReleases = false;
        throw;
    }
    m_processingReleases = false;
}

bool TApplication::IsAlive(const TForm* form) const {
    return std::any_of(m_forms.begin(), m_forms.end(),
                       [form](const auto& owned) { return owned.get() == form; });
}

void TApplication::destroyForm(TForm* form) {
    if (!IsAlive(form)) {
        return;
    }
    Dispatch([form] {
        if (form->OnDestroy) {
            form->OnDestroy(form);
        }
    });
    if (MainForm == form) {
        MainForm = nullptr;
    }
    std::erase(m_released, form);
    const auto found = std::find_if(m_forms.begin(), m_forms.end(),
                                    [form](const auto& owned) { return owned.get() == form; });
    if (found != m_forms.end()) {
        // Out of the list first, so the form is no longer alive while it goes.
        std::unique_ptr<TForm> owned = std::move(*found);
        m_forms.erase(found);
        owned.reset();
    }
}

void TApplication::discard(TForm* form) {
    std::erase(m_released, form);
    const auto found = std::find_if(m_forms.begin(), m_forms.end(),
                                    [form](const auto& owned) { return owned.get() == form; });
    if (found != m_forms.end()) {
        std::unique_ptr<TForm> owned = std::move(*found);
        m_forms.erase(found);
        owned.reset();
    }
}

bool TApplication::Dispatch(const std::function<void()>& event) {
    struct Depth {
        int& depth;
        explicit Depth(int& value) : depth(value) { ++depth; }
        Depth(const Depth&) = delete;
        Depth& operator=(const Depth&) = delete;
        ~Depth() { --depth; }
    };
    bool completed = true;
    {
        Depth depth(m_dispatchDepth);
        try {
            event();
        } catch (const EAbort&) {
            completed = false;
        } catch (const std::exception& error) {
            completed = false;
            HandleException(error);
        } catch (...) {
            completed = false;
            HandleException(Exception("Erro inesperado."));
        }
    }
    if (m_dispatchDepth == 0) {
        ProcessReleases();
    }
    return completed;
}

void TApplication::HandleException(const std::exception& error) {
    if (dynamic_cast<const EAbort*>(&error) != nullptr) {
        return;
    }
    if (OnException) {
        OnException(error);
        return;
    }
    Platform().MessageDialog(error.what(), TMsgDlgType::mtError, mbOK);
}

void TApplication::SetCursor(TCursor cursor) {
    m_cursor = cursor;
    if (m_platform != nullptr) {
        m_platform->SetCursor(cursor);
    }
}

void TApplication::Reset() {
    m_released.clear();
    while (!m_forms.empty()) {
        TForm* form = m_forms.back().get();
        try {
            if (form->OnDestroy) {
                form->OnDestroy(form);
            }
        } catch (...) {
            // Nobody is left to tell at this point.
        }
        std::unique_ptr<TForm> owned = std::move(m_forms.back());
        m_forms.pop_back();
        owned.reset();
    }
    MainForm = nullptr;
    OnException = nullptr;
    m_dispatchDepth = 0;
    m_processingReleases = false;
    m_cursor = TCursor::crDefault;
}

}  // namespace host
