#include "scenario/executor.h"

#include <algorithm>
#include <optional>
#include <sstream>

#include "host/sql/adoib_query.h"
#include "host/ui/controls.h"

namespace scenario {

using host::TCheckBox;
using host::TClientDataSet;
using host::TComponent;
using host::TControl;
using host::TCustomEdit;
using host::TDataSetState;
using host::TDBEdit;
using host::TDBGrid;
using host::TDBText;
using host::TForm;
using host::TMenuItem;
using host::TRadioButton;
using host::TTabSheet;
using host::TWinControl;

namespace {

bool isSetup(CommandKind kind) {
    return kind == CommandKind::Database || kind == CommandKind::Sql ||
           kind == CommandKind::Session || kind == CommandKind::Operator ||
           kind == CommandKind::ServerOff;
}

// Commands that only queue or read what was recorded need nothing running.
bool needsNothingRunning(CommandKind kind) {
    return kind == CommandKind::Answer || kind == CommandKind::Pick ||
           kind == CommandKind::ExpectMessage || kind == CommandKind::ExpectMessageContains ||
           kind == CommandKind::ExpectNoMessage || kind == CommandKind::ResetCalls ||
           kind == CommandKind::ExpectDb || kind == CommandKind::ExpectCalls;
}

const char* stateName(TDataSetState state) {
    switch (state) {
        case TDataSetState::dsInactive:
            return "inactive";
        case TDataSetState::dsBrowse:
            return "browse";
        case TDataSetState::dsEdit:
            return "edit";
        case TDataSetState::dsInsert:
            return "insert";
    }
    return "?";
}

Observed boundText(const std::string& text, host::TDataSource* source, const std::string& field) {
    ValueKind kind = ValueKind::Plain;
    if (source != nullptr && source->DataSet != nullptr) {
        if (const host::TField* bound = source->DataSet->FindField(field)) {
            kind = kindOf(bound->DataType());
        }
    }
    return {text, kind};
}

// The text the operator reads on a component; nothing for kinds without one.
std::optional<Observed> textOf(const TComponent* component) {
    if (const auto* form = dynamic_cast<const TForm*>(component)) {
        return Observed{form->Caption()};
    }
    if (const auto* date = dynamic_cast<const host::TDateEditPlus*>(component)) {
        return Observed{date->Text(), ValueKind::Date};
    }
    if (const auto* edit = dynamic_cast<const TCustomEdit*>(component)) {
        return Observed{edit->Text()};
    }
    if (const auto* text = dynamic_cast<const TDBText*>(component)) {
        return boundText(text->Text(), text->DataSource(), text->DataField());
    }
    if (const auto* edit = dynamic_cast<const TDBEdit*>(component)) {
        return boundText(edit->Text(), edit->DataSource(), edit->DataField());
    }
    if (const auto* item = dynamic_cast<const TMenuItem*>(component)) {
        return Observed{item->Caption()};
    }
    if (const auto* control = dynamic_cast<const TControl*>(component)) {
        return Observed{control->Caption()};
    }
    return std::nullopt;
}

std::optional<bool> checkedOf(const TComponent* component) {
    if (const auto* box = dynamic_cast<const TCheckBox*>(component)) {
        return box->Checked();
    }
    if (const auto* radio = dynamic_cast<const TRadioButton*>(component)) {
        return radio->Checked();
    }
    if (const auto* item = dynamic_cast<const TMenuItem*>(component)) {
        return item->Checked();
    }
    return std::nullopt;
}

std::string className(const TComponent* component) {
    return component->ClassName();
}

void compare(const std::string& expected, const Observed& found) {
    if (!matches(expected, found)) {
        throw Failure("expected " + quoted(expected) + ", found " + quoted(found.text));
    }
}

void compareBoolean(const std::string& expected, bool found) {
    const bool wanted = parseBoolean(expected).value_or(false);
    if (wanted != found) {
        throw Failure("expected " + expected + ", found " + booleanText(found, expected));
    }
}

}  // namespace

Executor::Executor(host::ScriptedPlatform& platform, Environment* environment, std::ostream& out)
    : m_platform(platform),
      m_environment(environment),
      m_out(out),
      m_messagesChecked(platform.messages().size()),
      m_failuresSeen(platform.failures().size()) {}

Executor::~Executor() = default;

Totals Executor::run(const Script& script) {
    m_script = &script;
    m_totals = {};
    m_next = 0;
    m_aborted = false;
    if (!script.errors.empty()) {
        for (const ScriptError& error : script.errors) {
            m_out << script.fileName << ":" << error.line << ": FAIL: " << error.message << "\n";
            ++m_totals.failed;
        }
        m_out << script.fileName << ": not played: it has syntax errors\n";
        m_script = nullptr;
        return m_totals;
    }

    auto previousLoop =
        std::exchange(m_platform.modalLoop, [this](TForm& form) { modalLoop(form); });
    try {
        while (m_next < script.commands.size() && !m_aborted) {
            runNext();
        }
    } catch (...) {
        m_platform.modalLoop = std::move(previousLoop);
        m_script = nullptr;
        throw;
    }
    m_platform.modalLoop = std::move(previousLoop);

    if (m_aborted && m_next < script.commands.size()) {
        m_out << script.fileName << ": " << script.commands.size() - m_next
              << " command(s) not played\n";
    }
    const auto& messages = m_platform.messages();
    for (std::size_t i = m_messagesChecked; i < messages.size(); ++i) {
        m_out << script.fileName << ": note: message not checked: " << quoted(messages[i].text)
              << "\n";
    }
    if (m_platform.pendingAnswers() > 0) {
        m_out << script.fileName << ": note: " << m_platform.pendingAnswers()
              << " queued answer(s) not used\n";
    }
    if (m_platform.pendingPicks() > 0) {
        m_out << script.fileName << ": note: " << m_platform.pendingPicks()
              << " queued pick(s) not used\n";
    }
    m_script = nullptr;
    return m_totals;
}

std::string Executor::location(const Command& command) const {
    return m_script->fileName + ":" + std::to_string(command.line);
}

void Executor::printHeader() {
    // Lines of the commands that are waiting for a modal form, before the
    // lines of the commands played inside it.
    for (std::size_t depth = 0; depth < m_frames.size(); ++depth) {
        Frame& frame = m_frames[depth];
        if (!frame.headerPrinted) {
            m_out << std::string(depth * 2, ' ') << location(*frame.command) << ": "
                  << frame.command->source << "\n";
            frame.headerPrinted = true;
        }
    }
}

void Executor::runNext() {
    const Command& command = m_script->commands[m_next++];
    m_frames.push_back({&command, false});
    std::string failure;
    try {
        execute(command);
    } catch (const Failure& error) {
        failure = error.what();
    } catch (const std::exception& error) {
        failure = error.what();
    }
    // What the platform could not answer fails the command that asked.
    const auto& unforeseen = m_platform.failures();
    for (; m_failuresSeen < unforeseen.size(); ++m_failuresSeen) {
        failure += (failure.empty() ? "" : "; ") + unforeseen[m_failuresSeen];
    }
    const std::size_t depth = m_frames.size() - 1;
    m_frames.pop_back();
    m_out << std::string(depth * 2, ' ') << location(command) << ": " << command.source;
    if (failure.empty()) {
        m_out << "  ok\n";
        ++m_totals.passed;
    } else {
        m_out << "  FAIL: " << failure << "\n";
        ++m_totals.failed;
    }
    m_out.flush();
}

void Executor::modalLoop(TForm& form) {
    if (m_script == nullptr) {
        return;
    }
    printHeader();
    m_out << std::string(m_frames.size() * 2, ' ') << "(modal " << form.Name() << ")\n";
    m_modalStack.push_back(&form);
    auto waiting = [&] {
        return host::Application().IsAlive(&form) && form.Showing() &&
               form.ModalResult() == host::mrNone;
    };
    while (waiting() && m_next < m_script->commands.size() && !m_aborted) {
        runNext();
    }
    m_modalStack.pop_back();
    if (waiting()) {
        // Nothing is left to close it: end the run so the interrupted command can finish.
        if (!m_aborted) {
            m_out << std::string(m_frames.size() * 2, ' ') << m_script->fileName
                  << ": FAIL: the scenario ended while the modal form " << form.Name()
                  << " was open\n";
            ++m_totals.failed;
        }
        form.Hide();
    }
}

void Executor::requireEnvironment() const {
    if (m_environment == nullptr) {
        throw Failure("no system to play against (no database, server or module)");
    }
}

void Executor::execute(const Command& command) {
    if (command.kind == CommandKind::Extension) {
        std::vector<std::string> args;
        for (std::size_t i = 1; i < command.tokens.size(); ++i) {
            args.push_back(command.tokens[i].text);
        }
        if (!m_extra || !m_extra(command.word, args)) {
            throw Failure("unknown command \"" + command.word + "\"");
        }
        return;
    }
    if (!isSetup(command.kind) && !needsNothingRunning(command.kind) && m_environment != nullptr &&
        !m_environment->started()) {
        try {
            m_environment->start();
        } catch (const std::exception& error) {
            m_aborted = true;
            throw Failure(std::string("could not start: ") + error.what());
        }
    }
    switch (command.kind) {
        case CommandKind::Database:
            requireEnvironment();
            m_environment->useDatabase(command.emptyDatabase);
            return;
        case CommandKind::Sql:
            requireEnvironment();
            m_environment->runSql(command.target);
            return;
        case CommandKind::Session:
            requireEnvironment();
            m_environment->setSession(command.session);
            return;
        case CommandKind::Operator:
            requireEnvironment();
            m_environment->addOperator(command.operatorSettings);
            return;
        case CommandKind::ServerOff:
            requireEnvironment();
            m_environment->serverOff();
            return;
        case CommandKind::Open:
            requireEnvironment();
            m_environment->openScreen(command.target);
            return;
        case CommandKind::Answer:
            m_platform.QueueAnswer(command.answer);
            return;
        case CommandKind::Pick:
            if (command.pick) {
                m_platform.QueuePick(*command.pick);
            } else {
                m_platform.QueuePickNone();
            }
            return;
        case CommandKind::Close:
        case CommandKind::Focus:
        case CommandKind::Type:
        case CommandKind::Click:
        case CommandKind::Key:
        case CommandKind::Select:
            operatorCommand(command);
            return;
        case CommandKind::ExpectProperty:
            checkProperty(command);
            return;
        case CommandKind::ExpectMessage:
        case CommandKind::ExpectMessageContains:
        case CommandKind::ExpectNoMessage:
            checkMessage(command);
            return;
        case CommandKind::ExpectCell:
            checkCell(command);
            return;
        case CommandKind::ExpectField:
            checkField(command);
            return;
        case CommandKind::ExpectFilter:
            requireEnvironment();
            compare(command.expected, m_environment->filterField(command.target));
            return;
        case CommandKind::ExpectCalls: {
            requireEnvironment();
            const int found = m_environment->calls(command.target);
            if (found != command.row) {
                throw Failure("expected " + std::to_string(command.row) + " call(s), found " +
                              std::to_string(found));
            }
            return;
        }
        case CommandKind::ResetCalls:
            requireEnvironment();
            m_environment->resetCalls();
            return;
        case CommandKind::ExpectDb: {
            requireEnvironment();
            const auto value = m_environment->queryFirstValue(command.target);
            compare(command.expected,
                    value ? databaseValue(*value) : Observed{"<no row>", ValueKind::Plain});
            return;
        }
        case CommandKind::Dump:
            dump();
            return;
        case CommandKind::Extension:
            return;
    }
}

// ---- Names ----

std::vector<TForm*> Executor::formsInView() const {
    std::vector<TForm*> forms;
    for (auto it = m_modalStack.rbegin(); it != m_modalStack.rend(); ++it) {
        if (host::Application().IsAlive(*it) && (*it)->Showing()) {
            forms.push_back(*it);
        }
    }
    const auto& owned = host::Application().Forms();
    for (auto it = owned.rbegin(); it != owned.rend(); ++it) {
        TForm* form = it->get();
        if (form->Showing() && std::find(forms.begin(), forms.end(), form) == forms.end()) {
            forms.push_back(form);
        }
    }
    return forms;
}

TForm& Executor::topForm() const {
    const auto forms = formsInView();
    if (forms.empty()) {
        throw Failure("no form in view");
    }
    return *forms.front();
}

Executor::Found Executor::find(const std::string& name) const {
    const auto forms = formsInView();
    for (TForm* form : forms) {
        if (form->Name() == name) {
            return {form, form, nullptr};
        }
        if (TComponent* component = form->FindComponent(name)) {
            Found found{form, component, nullptr};
            if (auto* query = dynamic_cast<host::TADOIBQuery*>(component)) {
                found.dataSet = &query->DataSet();
            }
            return found;
        }
        if (TClientDataSet* dataSet = form->FindDataSet(name)) {
            return {form, nullptr, dataSet};
        }
        if (host::TDataSource* source = form->FindDataSource(name)) {
            return {form, nullptr, source->DataSet};
        }
    }
    std::string names;
    for (const TForm* form : forms) {
        names += (names.empty() ? "" : ", ") + form->Name();
    }
    throw Failure("no component " + name + " in the forms in view (" +
                  (names.empty() ? std::string("none") : names) + ")");
}

template <class T>
T* Executor::findAs(const std::string& name, const char* what, Found* where) const {
    Found found = find(name);
    if (where != nullptr) {
        *where = found;
    }
    auto* typed = dynamic_cast<T*>(found.component);
    if (typed == nullptr) {
        throw Failure(name + " is " +
                      (found.component != nullptr ? "a " + className(found.component)
                                                  : std::string("a data set")) +
                      ", not " + what);
    }
    return typed;
}

TClientDataSet& Executor::findDataSet(const std::string& name) const {
    const Found found = find(name);
    if (found.dataSet != nullptr) {
        return *found.dataSet;
    }
    if (auto* grid = dynamic_cast<TDBGrid*>(found.component)) {
        if (grid->DataSource() != nullptr && grid->DataSource()->DataSet != nullptr) {
            return *grid->DataSource()->DataSet;
        }
        throw Failure("grid " + name + " has no data set");
    }
    throw Failure(name + " is a " + className(found.component) + ", not a data set");
}

// ---- Operator ----

void Executor::operatorCommand(const Command& command) {
    switch (command.kind) {
        case CommandKind::Close: {
            TForm* form = nullptr;
            if (command.target.empty()) {
                form = &topForm();
            } else {
                form = findAs<TForm>(command.target, "a form");
            }
            host::Application().Dispatch([form] { form->Close(); });
            return;
        }
        case CommandKind::Focus: {
            Found where;
            auto* control =
                findAs<TWinControl>(command.target, "a control that takes the focus", &where);
            where.form->UserFocus(control);
            return;
        }
        case CommandKind::Type: {
            Found where;
            auto* edit = findAs<TCustomEdit>(command.target, "an edit", &where);
            where.form->UserType(edit, command.expected);
            return;
        }
        case CommandKind::Click: {
            Found where = find(command.target);
            if (auto* item = dynamic_cast<TMenuItem*>(where.component)) {
                where.form->UserClickMenu(item);
                return;
            }
            auto* control = dynamic_cast<TControl*>(where.component);
            if (control == nullptr || control == where.form) {
                throw Failure(command.target + " is not something to click");
            }
            where.form->UserClick(control);
            return;
        }
        case CommandKind::Key: {
            if (command.target == "form") {
                TForm& form = topForm();
                TWinControl* target = form.ActiveControl();
                form.UserKey(target != nullptr ? target : &form, command.key, command.shift);
                return;
            }
            Found where;
            auto* target = findAs<TWinControl>(command.target, "a control", &where);
            where.form->UserKey(target, command.key, command.shift);
            return;
        }
        case CommandKind::Select: {
            Found where;
            auto* grid = findAs<TDBGrid>(command.target, "a grid", &where);
            const int rows = grid->RowCount();
            if (command.row > rows) {
                throw Failure("grid " + command.target + " has " + std::to_string(rows) +
                              " row(s), no row " + std::to_string(command.row));
            }
            where.form->UserSelectRow(grid, command.row);
            return;
        }
        default:
            return;
    }
}

// ---- Checks ----

void Executor::checkProperty(const Command& command) {
    const std::string& name = command.target;
    switch (command.property) {
        case Property::Text: {
            const Found found = find(name);
            const auto text = textOf(found.component);
            if (!text) {
                throw Failure(name + " has no text");
            }
            compare(command.expected, *text);
            return;
        }
        case Property::Enabled:
        case Property::Visible: {
            const Found found = find(name);
            const bool enabled = command.property == Property::Enabled;
            if (auto* item = dynamic_cast<TMenuItem*>(found.component)) {
                compareBoolean(command.expected, enabled ? item->Enabled() : item->Visible());
                return;
            }
            if (auto* form = dynamic_cast<TForm*>(found.component)) {
                compareBoolean(command.expected, enabled ? form->Enabled() : form->Showing());
                return;
            }
            if (auto* control = dynamic_cast<TControl*>(found.component)) {
                compareBoolean(command.expected, enabled ? control->Enabled() : control->Visible());
                return;
            }
            throw Failure(name + " is not a control or menu item");
        }
        case Property::Checked: {
            const Found found = find(name);
            const auto checked = checkedOf(found.component);
            if (!checked) {
                throw Failure(name + " cannot be checked");
            }
            compareBoolean(command.expected, *checked);
            return;
        }
        case Property::Focused: {
            Found where;
            auto* control = findAs<TControl>(name, "a control", &where);
            compareBoolean(command.expected, where.form->ActiveControl() == control);
            return;
        }
        case Property::Active:
        case Property::TabEnabled: {
            auto* sheet = findAs<TTabSheet>(name, "a tab sheet");
            if (command.property == Property::TabEnabled) {
                compareBoolean(command.expected, sheet->Enabled());
            } else {
                compareBoolean(command.expected, sheet->PageControl() != nullptr &&
                                                     sheet->PageControl()->ActivePage() == sheet);
            }
            return;
        }
        case Property::Rows: {
            TClientDataSet& dataSet = findDataSet(name);
            const int rows = dataSet.Active() ? dataSet.RecordCount() : 0;
            if (rows != command.row) {
                throw Failure("expected " + std::to_string(command.row) + " row(s), found " +
                              std::to_string(rows));
            }
            return;
        }
        case Property::State: {
            TClientDataSet& dataSet = findDataSet(name);
            compare(command.expected, Observed{stateName(dataSet.State())});
            return;
        }
    }
}

void Executor::checkMessage(const Command& command) {
    const auto& messages = m_platform.messages();
    if (command.kind == CommandKind::ExpectNoMessage) {
        if (m_messagesChecked < messages.size()) {
            std::string texts;
            for (std::size_t i = m_messagesChecked; i < messages.size(); ++i) {
                texts += (texts.empty() ? "" : ", ") + quoted(messages[i].text);
            }
            // Reported once: the next checks start after them.
            m_messagesChecked = messages.size();
            throw Failure("expected no message, found " + texts);
        }
        return;
    }
    const bool contains = command.kind == CommandKind::ExpectMessageContains;
    const std::string expected =
        contains ? "a message containing " + quoted(command.expected) : quoted(command.expected);
    if (m_messagesChecked >= messages.size()) {
        throw Failure("expected " + expected + ", found no message");
    }
    const std::string& text = messages[m_messagesChecked++].text;
    const bool ok =
        contains ? text.find(command.expected) != std::string::npos : text == command.expected;
    if (!ok) {
        throw Failure("expected " + expected + ", found " + quoted(text));
    }
}

void Executor::checkCell(const Command& command) {
    auto* grid = findAs<TDBGrid>(command.target, "a grid");
    int column = -1;
    for (int i = 0; i < grid->ColumnCount() && column < 0; ++i) {
        if (grid->ColumnAt(i).FieldName == command.field) {
            column = i;
        }
    }
    if (column < 0) {
        throw Failure("grid " + command.target + " has no column for field " + command.field);
    }
    const int rows = grid->RowCount();
    if (command.row > rows) {
        throw Failure("grid " + command.target + " has " + std::to_string(rows) +
                      " row(s), no row " + std::to_string(command.row));
    }
    ValueKind kind = ValueKind::Plain;
    if (grid->DataSource() != nullptr && grid->DataSource()->DataSet != nullptr) {
        if (const host::TField* field = grid->DataSource()->DataSet->FindField(command.field)) {
            kind = kindOf(field->DataType());
        }
    }
    compare(command.expected, Observed{grid->CellText(command.row, column), kind});
}

void Executor::checkField(const Command& command) {
    TClientDataSet& dataSet = findDataSet(command.target);
    host::TField* field = dataSet.FindField(command.field);
    if (field == nullptr) {
        throw Failure("data set " + command.target + " has no field " + command.field);
    }
    compare(command.expected, fieldValue(*field));
}

// ---- Dump ----

void Executor::dump() const {
    const auto forms = formsInView();
    if (forms.empty()) {
        m_out << "  (no form in view)\n";
    }
    auto flag = [](bool value) { return value ? "yes" : "no"; };
    for (const TForm* form : forms) {
        m_out << "  form " << form->Name() << " " << form->ClassName() << " "
              << quoted(form->Caption()) << (form->Modal() ? " modal" : "") << " active-control="
              << (form->ActiveControl() != nullptr ? form->ActiveControl()->Name() : "none")
              << "\n";
        for (const auto& owned : form->Components()) {
            const TComponent* component = owned.get();
            std::ostringstream line;
            line << "    " << component->Name() << " " << component->ClassName();
            if (const auto text = textOf(component)) {
                line << " " << quoted(text->text);
            }
            if (const auto* item = dynamic_cast<const TMenuItem*>(component)) {
                line << " enabled=" << flag(item->Enabled())
                     << " visible=" << flag(item->Visible());
            } else if (const auto* control = dynamic_cast<const TControl*>(component)) {
                line << " enabled=" << flag(control->Enabled())
                     << " visible=" << flag(control->Visible());
                if (const auto* sheet = dynamic_cast<const TTabSheet*>(control)) {
                    line << " active="
                         << flag(sheet->PageControl() != nullptr &&
                                 sheet->PageControl()->ActivePage() == sheet);
                }
                if (const auto* grid = dynamic_cast<const TDBGrid*>(control)) {
                    line << " rows=" << grid->RowCount();
                }
            }
            if (const auto checked = checkedOf(component)) {
                line << " checked=" << flag(*checked);
            }
            if (component == form->ActiveControl()) {
                line << " focused";
            }
            m_out << line.str() << "\n";
        }
        for (const auto& dataSet : form->DataSets()) {
            m_out << "    data set " << dataSet->Name() << " " << stateName(dataSet->State());
            if (dataSet->Active()) {
                m_out << " rows=" << dataSet->RecordCount() << " record=" << dataSet->RecNo();
                if (!dataSet->IsEmpty()) {
                    m_out << " {";
                    bool first = true;
                    for (const auto& field : dataSet->Fields()) {
                        std::string text;
                        try {
                            text = fieldValue(*field).text;
                        } catch (const std::exception& error) {
                            text = std::string("<") + error.what() + ">";
                        }
                        m_out << (first ? "" : ", ") << field->FieldName() << "=" << quoted(text);
                        first = false;
                    }
                    m_out << "}";
                }
            }
            m_out << "\n";
        }
    }
}

}  // namespace scenario
