#!/usr/bin/env python3
"""ore-host in a real X server under openbox, driven by real keys and clicks.

Usage: x_desktop_test.py BIN_DIR CASE
       x_desktop_test.py BIN_DIR readme_shots FOLDER   (the demo's pictures)

Each case starts its own X server, window manager, demo database, order
server and host, and ends them all.
"""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xdesktop import (FILTER_TITLE, HOST_TITLE, OPERATOR, PASSWORD, RENEWAL_TITLE,  # noqa: E402
                      SIGN_ON_TITLE, Desktop, Failure)

CASES = {}


def case(function):
    CASES[function.__name__] = function
    return function


def expect(condition, text):
    if not condition:
        raise Failure(text)


def status_of(d, number, sequence="00"):
    rows = d.sql("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE CDFILIAL = '0001' AND "
                 "NRORCAEVENTO = ? AND NRSEQORCAEVE = ?", number, sequence)
    return rows[0][0]


def count(d, pattern):
    return sum(1 for line in d.trace() if line == pattern)


def open_filter_from_screen(d):
    d.mark()
    d.key("ctrl+l")
    d.wait_trace(r"^window shown frmFiltroCancAprovEnc$")
    d.wait_trace(r"^focus frmFiltroCancAprovEnc medOrcaDe$")


@case
def keyboard_path(d):
    """The whole cancellation by keyboard only, no error window on the way."""
    d.open_screen()
    # Ctrl+L from the branch, then Esc: the filter opens and cancels.
    open_filter_from_screen(d)
    d.key("Escape")
    d.wait_trace(r"^window closed frmFiltroCancAprovEnc$")
    d.wait_trace(r"^focus frmCancAprovEnc edtCdFilial$")
    # Leaving the branch opens the filter; one order number, Ctrl+Enter.
    d.key("Tab")
    d.wait_trace(r"^focus frmFiltroCancAprovEnc medOrcaDe$")
    d.type("102")
    d.key("Tab")
    d.wait_trace(r"^focus frmFiltroCancAprovEnc medOrcaAte$")
    d.key("ctrl+Return")
    d.wait_trace(r"^window closed frmFiltroCancAprovEnc$")
    d.settle()
    expect(d.layout()["grid"]["dbgPadrao"]["rows"] == 1, "order 102 alone is listed")
    # Confirm from the maintenance menu by its mnemonic: Alt+M, O.
    d.mark()
    d.key("alt+m")
    d.wait_trace(r"^menu popup Manutenção$")
    d.key("o")
    d.wait_message(r"^message mtInformation Motivo precisa ser informado\.$")
    d.key("Return")
    d.wait_trace(r"^message closed$")
    d.wait_focus("frmCancAprovEnc edtCdJust")
    d.type("2")
    d.key("Tab")
    d.wait_trace(r"^focus frmCancAprovEnc memObs$")
    d.type("Aprovada por engano.")
    d.key("ctrl+Return")
    d.wait_message(r"^message mtConfirmation Deseja confirmar o cancelamento da aprovação da "
                 r"encomenda\?$")
    d.key("Return")
    d.wait_message(r"^message mtInformation Cancelamento realizado com sucesso\.$")
    d.key("Return")
    d.wait_trace(r"^message closed$")
    d.settle()
    expect(status_of(d, "0000000102") == "1", "order 102 is pending again")
    observations = d.sql("SELECT TXOBSJUSTORC, CDJUSTEXCHIS FROM OBSJUSTORC WHERE "
                         "NRORCAEVENTO = '0000000102'")
    expect(any(text == "Aprovada por engano." for text, _ in observations),
           "the observation was recorded: %r" % observations)
    d.assert_no_error_window()


@case
def activation_runs_no_exit(d):
    """Another window taking the keyboard is no focus move inside the form:
    the branch's exit does not run, and the branch has the keyboard again."""
    d.open_screen()
    d.load_orders()
    x, y, _, _ = d.layout_of("edtCdFilial")
    d.click(d.main, x + 5, y + 5)
    d.wait_focus("frmCancAprovEnc edtCdFilial")
    # The filter from the branch: by Ctrl+L, then by the tool-bar button.
    open_filter_from_screen(d)
    d.key("Escape")
    d.wait_trace(r"^window closed frmFiltroCancAprovEnc$")
    d.wait_focus("frmCancAprovEnc edtCdFilial")
    x, y, _, _ = d.layout_of("sbtFiltro")
    d.mark()
    d.click(d.main, x + 5, y + 5)
    d.wait_trace(r"^window shown frmFiltroCancAprovEnc$")
    d.wait_focus("frmFiltroCancAprovEnc medOrcaDe")
    d.key("Escape")
    d.wait_trace(r"^window closed frmFiltroCancAprovEnc$")
    d.wait_focus("frmCancAprovEnc edtCdFilial")
    # The keyboard is in the branch code: the next key reaches it.
    d.mark()
    d.key("End")
    d.wait_trace(r"^key frmCancAprovEnc edtCdFilial End -$")
    d.settle()
    expect(count(d, "window shown frmFiltroCancAprovEnc") == 3,
           "the filter opened on leaving the branch, for Ctrl+L and for the button only")
    d.assert_no_error_window()


@case
def windows_take_focus(d):
    """Every window shown takes the keyboard; closing it hands it back."""
    d.open_screen()
    d.mark()
    d.key("Tab")
    d.wait_trace(r"^window shown frmFiltroCancAprovEnc$")
    d.wait_focus("frmFiltroCancAprovEnc medOrcaDe")
    expect(d.active_title() == FILTER_TITLE, "the filter is the active window")
    # A message box closes: the keyboard is back where it was.
    d.type("300")
    d.key("Tab")
    d.wait_trace(r"^focus frmFiltroCancAprovEnc medOrcaAte$")
    d.key("ctrl+a")
    d.type("200")
    d.key("Tab")
    d.wait_trace(r"^focus frmFiltroCancAprovEnc depDeEntrega$")
    d.key("ctrl+Return")
    d.wait_message(r"^message mtError Número da encomenda inicial deve ser menor")
    d.key("Return")
    d.wait_trace(r"^message closed$")
    d.settle()
    focus_after_message = d.focus()
    expect(focus_after_message.startswith("frmFiltroCancAprovEnc "),
           "focus back in the filter after the message: %r" % focus_after_message)
    # Tab left the branch for the page control, which the keyboard is back on.
    d.key("Escape")
    d.wait_trace(r"^window closed frmFiltroCancAprovEnc$")
    d.wait_focus("frmCancAprovEnc pgcPadrao")
    expect(len([m for m in d.messages() if m.startswith("message mtError")]) == 1,
           "the one error asked for")


def choose_list_radio(d):
    """In the filter: the "Lista" of the salesmen, by Tab and arrow keys."""
    d.mark()
    for _ in range(4):
        d.key("Tab")
    d.wait_focus("frmFiltroCancAprovEnc rbtTVendedor")
    d.key("Tab")
    d.wait_focus("frmFiltroCancAprovEnc rbtLVendedor")


@case
def one_key_one_event(d):
    """F9 on "Lista" opens the pick list once; one refused deletion asks once."""
    d.open_screen()
    d.key("Tab")
    d.wait_trace(r"^focus frmFiltroCancAprovEnc medOrcaDe$")
    choose_list_radio(d)
    d.key("F9")
    d.wait_picklist("Vendedor")
    d.key("Escape")
    d.wait_trace(r"^picklist closed cancelled$")
    d.settle()
    d.wait_focus("frmFiltroCancAprovEnc rbtLVendedor")
    expect(count(d, "picklist shown Vendedor rows 5") == 1,
           "one pick list for one F9: %s" % [l for l in d.trace() if "picklist" in l])
    d.key("ctrl+Return")
    d.wait_trace(r"^window closed frmFiltroCancAprovEnc$")
    d.wait_focus("frmCancAprovEnc dbgPadrao")
    d.mark()
    d.key("ctrl+Delete")
    d.wait_message(r"^message mtConfirmation Confirma exclusão\?$")
    d.key("Escape")
    d.wait_trace(r"^message closed$")
    d.settle()
    expect(count(d, "message mtConfirmation Confirma exclusão?") == 1, "one question")
    d.assert_no_error_window()


@case
def escape_and_enter(d):
    """Esc closes ORE00610 and the pick list; Enter closes ORE00610 and chooses."""
    d.open_screen()
    d.load_orders()
    before = d.sql("SELECT NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE FROM ORCAEVENTO ORDER BY 1, 2")
    for closing_key in ("Escape", "Return"):
        d.key("Home")
        for _ in range(4):
            d.key("Down")
        d.settle()
        expect(d.layout()["grid"]["dbgPadrao"]["current"] == 4, "order 105 is current")
        d.mark()
        d.key("alt+m")
        d.wait_trace(r"^menu popup Manutenção$")
        d.key("o")
        d.wait_message(r"^message mtInformation Motivo precisa ser informado\.$")
        d.key("Return")
        d.wait_trace(r"^message closed$")
        d.wait_focus("frmCancAprovEnc edtCdJust")
        d.type("3")
        d.key("ctrl+Return")
        d.wait_message(r"^message mtConfirmation Deseja confirmar")
        d.key("Return")
        d.wait_trace(r"^window shown frmPedidoOp$")
        d.wait_trace(r"^focus frmPedidoOp ")
        d.key(closing_key)
        d.wait_trace(r"^window closed frmPedidoOp$")
        d.settle()
    expect(status_of(d, "0000000105") == "2", "order 105 stays approved")
    after = d.sql("SELECT NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE FROM ORCAEVENTO ORDER BY 1, 2")
    expect(before == after, "no order changed")
    # The pick list of the salesmen: Esc cancels, Enter chooses.
    open_filter_from_screen(d)
    choose_list_radio(d)
    d.key("F9")
    d.wait_picklist("Vendedor")
    d.key("Escape")
    d.wait_trace(r"^picklist closed cancelled$")
    d.key("F9")
    d.wait_picklist("Vendedor")
    d.key("Return")
    d.wait_trace(r"^picklist closed accepted$")
    d.assert_no_error_window()


@case
def shortcuts_anywhere(d):
    """Ctrl+L with the tab bar focused; F12 from the grid."""
    d.open_screen()
    # Tab leaves the branch for the page control's tab bar; the filter opens.
    d.key("Tab")
    d.wait_trace(r"^window shown frmFiltroCancAprovEnc$")
    d.wait_focus("frmFiltroCancAprovEnc medOrcaDe")
    d.key("Escape")
    d.wait_trace(r"^window closed frmFiltroCancAprovEnc$")
    d.wait_focus("frmCancAprovEnc pgcPadrao")
    open_filter_from_screen(d)
    d.key("Escape")
    d.wait_trace(r"^window closed frmFiltroCancAprovEnc$")
    d.wait_focus("frmCancAprovEnc pgcPadrao")
    # From the grid, F12 goes back to the branch.
    d.key("F12")
    d.wait_focus("frmCancAprovEnc edtCdFilial")
    d.load_orders()
    d.mark()
    d.key("F12")
    d.wait_focus("frmCancAprovEnc edtCdFilial")
    # A click on a row of the grid, then F12.
    d.load_orders()
    x, y, _, _ = d.layout_of("dbgPadrao")
    d.click(d.main, x + 40, y + 50)
    d.settle()
    d.mark()
    d.key("F12")
    d.wait_focus("frmCancAprovEnc edtCdFilial")
    # A click on the tab bar, then Ctrl+L.
    d.load_orders()
    for page in ("tshItens", "tshPadrao"):
        x, y, _, _ = d.layout_of(page)
        d.click(d.main, x + (120 if page == "tshItens" else 30), y - 10)
        d.settle()
        open_filter_from_screen(d)
        d.key("Escape")
        d.wait_trace(r"^window closed frmFiltroCancAprovEnc$")
    d.assert_no_error_window()


def show_page(d, mnemonic):
    """A page brought forward from the Operação menu by its mnemonic."""
    d.mark()
    d.key("alt+o")
    d.wait_trace(r"^menu popup Operação$")
    d.key(mnemonic)
    d.settle()
    return d.layout()


def expect_shown(layout, names, size):
    scrolled = any(layout["scroll"].get("frmCancAprovEnc", (False, False)))
    for name in names:
        state = layout["control"][name][4]
        expect(state == "shown" or scrolled,
               "%s is %s at %s without scroll bars" % (name, state, size))


def expect_above(layout, upper, lower):
    top = layout["control"][upper]
    bottom = layout["control"][lower]
    expect(top[1] + top[3] <= bottom[1], "%s stays above %s: %r %r" % (upper, lower, top,
                                                                       bottom))


@case
def layout_small_and_maximized(d):
    """At 700x480 nothing is hidden or covered (scroll bars instead);
    maximized, the grids and the memo take the room."""
    d.open_screen()
    d.load_orders()
    normal_grid = show_page(d, "f")["control"]["dbgPadrao"]
    normal_items = show_page(d, "i")["control"]["dbgItem"]
    d.maximize_screen()
    d.resize(d.main, 700, 480)
    small = show_page(d, "i")
    expect_shown(small, ("lblCliente", "DBText1", "lblPrecoBase", "dbgItem", "sbtFechar",
                         "lblCodTela"), "700x480")
    expect_above(small, "lblPrecoBase", "dbgItem")
    d.shot(os.path.join(d.work, "small-items.png"), d.main)
    small = show_page(d, "f")
    expect_shown(small, ("edtCdFilial", "dbgPadrao", "sbtConfirmar", "dbnPadrao"), "700x480")
    d.resize(d.main, 1024, 768)
    big_grid = show_page(d, "f")["control"]["dbgPadrao"]
    big_items = show_page(d, "i")["control"]["dbgItem"]
    for name, before, after in (("dbgPadrao", normal_grid, big_grid),
                                ("dbgItem", normal_items, big_items)):
        expect(after[2] > before[2] and after[3] > before[3],
               "%s grows: %r -> %r" % (name, before, after))
    # The reason page: the memo fills it, below the justification code and
    # above the panel of what the cancellation would meet.
    show_page(d, "f")
    d.key("alt+m")
    d.wait_trace(r"^menu popup Manutenção$")
    d.key("o")
    d.wait_message(r"^message mtInformation Motivo precisa ser informado\.$")
    d.key("Return")
    d.wait_focus("frmCancAprovEnc edtCdJust")
    d.settle()
    big = d.layout()
    memo = big["control"]["memObs"]
    expect(memo[2] > 772 and memo[3] > 250, "the memo grows beyond its design: %r" % (memo,))
    panel = big["control"]["memPrevia"]
    expect(panel[2] > 772 and panel[3] == 104, "the panel grows in width only: %r" % (panel,))
    expect_above(big, "memObs", "lblPrevia")
    expect_above(big, "lblPrevia", "memPrevia")
    d.resize(d.main, 700, 480)
    d.settle()
    small = d.layout()
    expect_shown(small, ("edtCdJust", "memObs", "lblPrevia", "memPrevia"), "700x480")
    expect_above(small, "edtCdJust", "memObs")
    expect_above(small, "memObs", "memPrevia")
    d.assert_no_error_window()


@case
def grid_scroll_bar(d):
    """The scroll bar stands at the top with the list at its top, at the
    bottom at its end."""
    d.open_screen()
    d.load_orders("1", "9999999999")
    d.settle()
    grid = d.layout()["grid"]["dbgPadrao"]
    expect(grid["rows"] > 40, "a long list: %r" % grid)
    value, maximum, page = grid["scroll"]
    expect(grid["current"] == 0 and grid["top"] == 0, "at the top: %r" % grid)
    expect(value == 0 and maximum > 0 and page > 1 and maximum < grid["rows"],
           "the bar shows the top of the list: %r" % grid)
    d.key("End")
    d.settle()
    grid = d.layout()["grid"]["dbgPadrao"]
    value, maximum, page = grid["scroll"]
    expect(grid["current"] == grid["rows"] - 1 and value == maximum,
           "the bar follows to the end: %r" % grid)
    d.key("Home")
    d.settle()
    grid = d.layout()["grid"]["dbgPadrao"]
    expect(grid["current"] == 0 and grid["scroll"][0] == 0, "back at the top: %r" % grid)
    for _ in range(3):
        d.key("Next")
    d.settle()
    grid = d.layout()["grid"]["dbgPadrao"]
    value, maximum, page = grid["scroll"]
    expect(grid["top"] <= grid["current"] < grid["top"] + page + 1 and value == grid["top"],
           "the bar shows the part with the current row: %r" % grid)
    d.assert_no_error_window()


@case
def server_restart(d):
    """The first command after the server is back works."""
    d.open_screen()
    d.load_orders()
    d.stop_server()
    open_filter_from_screen(d)
    d.key("ctrl+Return")
    d.wait_message(r"^message mtError ")
    d.key("Return")
    d.wait_trace(r"^message closed$")
    d.start_server()
    d.settle()
    open_filter_from_screen(d)
    d.key("ctrl+Return")
    d.wait_trace(r"^window closed frmFiltroCancAprovEnc$")
    d.settle()
    errors = [line for line in d.since_mark() if line.startswith("message mtError")]
    expect(not errors, "the list loads at once: %s" % errors)
    expect(d.layout()["grid"]["dbgPadrao"]["rows"] == 12, "the list is back")


@case
def pick_list_search(d):
    """The customer pick list narrows as one types and keeps the multiple choice."""
    d.open_screen()
    d.key("Tab")
    d.wait_trace(r"^focus frmFiltroCancAprovEnc medOrcaDe$")
    d.mark()
    for _ in range(6):
        d.key("Tab")
    d.wait_focus("frmFiltroCancAprovEnc rbtTCliente")
    d.key("Tab")
    d.wait_focus("frmFiltroCancAprovEnc rbtLCliente")
    d.key("F9")
    d.wait_picklist("Cliente")
    d.wait_trace(r"^focus Cliente search$")
    d.type("ana")
    d.wait_trace(r"^picklist rows 1$")
    d.key("Down", "space")
    d.key("BackSpace", "BackSpace", "BackSpace")
    d.type("ALEGRIA")
    d.wait_trace(r"^picklist rows 1$")
    d.key("Down", "space")
    d.key("Return")
    d.wait_trace(r"^picklist closed accepted$")
    chosen = d.wait_trace(r"^picklist chosen ").split()[2:]
    expect(sorted(chosen) == ["000002", "000005"], "both marked rows chosen: %r" % chosen)
    d.assert_no_error_window()


@case
def help_pages(d):
    """F1 and the help button show the screen's own help page."""
    d.open_screen()
    d.mark()
    d.key("F1")
    d.wait_window("^Ajuda - ORE06100$")
    d.wait_trace(r"^help shown ORE06100$")
    d.key("Escape")
    d.wait_no_window("^Ajuda - ORE06100$")
    d.key("Tab")
    d.wait_trace(r"^focus frmFiltroCancAprovEnc medOrcaDe$")
    d.key("F1")
    d.wait_window("^Ajuda - ORE06101$")
    d.key("Escape")
    d.wait_no_window("^Ajuda - ORE06101$")
    d.wait_focus("frmFiltroCancAprovEnc medOrcaDe")
    expect(not [m for m in d.messages() if "não disponível" in m], "no 'not available'")
    d.assert_no_error_window()


WRONG_PASSWORD = "senha-errada-7"


@case
def sign_on_window(d):
    """A wrong password shows the server's text and the window stays; the
    right one opens the host, whose session is the server's."""
    d.mark()
    d.type(WRONG_PASSWORD)
    d.key("Return")
    refusal = d.wait_trace(r"^signon refused ")
    expect(refusal == "signon refused Operador ou senha inválidos.",
           "the server's text: %r" % refusal)
    d.wait_focus("%s edtSenha" % SIGN_ON_TITLE)
    expect(d.windows("^%s$" % SIGN_ON_TITLE), "the sign-on window stays")
    expect(not d.windows("^%s$" % HOST_TITLE), "no host window before the sign-on")
    d.sign_on(PASSWORD)
    d.wait_no_window("^%s$" % SIGN_ON_TITLE)
    session = [line for line in d.trace() if line.startswith("session ")]
    expect(session == ["session %s 0001" % OPERATOR], "the server's session: %r" % session)
    tokens = d.sql("SELECT COUNT(*) FROM SESSAOOPER WHERE CDOPERADOR = ?", OPERATOR)
    expect(tokens == [(1,)], "one session in the database: %r" % tokens)
    d.open_screen()
    d.load_orders()
    d.settle()
    expect(d.layout()["grid"]["dbgPadrao"]["rows"] > 0, "the list loads with the token")
    d.assert_no_secret_in_trace(PASSWORD, WRONG_PASSWORD)
    d.assert_no_error_window()


@case
def sign_on_cancel_quits(d):
    """Esc in the sign-on window ends the host without its main window."""
    d.key("Escape")
    d.host.wait(timeout=20)
    expect(d.host.returncode == 0, "ore-host ended %d" % d.host.returncode)
    expect(not d.windows("^%s$" % HOST_TITLE), "no host window")
    expect(d.sql("SELECT COUNT(*) FROM SESSAOOPER") == [(0,)], "nobody signed on")


def password_file(bin_dir):
    """--password-file signs on without the window; the screen works."""
    folder = tempfile.mkdtemp(prefix="ore-password.")
    try:
        file = os.path.join(folder, "senha")
        with open(os.open(file, os.O_WRONLY | os.O_CREAT, 0o600), "w") as out:
            out.write(PASSWORD + "\n")
        with Desktop(bin_dir, host_args=["--password-file", file]) as d:
            expect(not d.windows("^%s$" % SIGN_ON_TITLE), "no sign-on window")
            d.open_screen()
            d.load_orders()
            d.settle()
            expect(d.layout()["grid"]["dbgPadrao"]["rows"] > 0, "the list loads")
            d.assert_no_secret_in_trace(PASSWORD)
            d.assert_no_error_window()
    finally:
        shutil.rmtree(folder, ignore_errors=True)


@case
def session_renewal(d):
    """The session expires with the reason typed: the confirmation asks for
    the password again, and the cancellation goes on with what was typed."""
    d.open_screen()
    d.load_orders()
    for _ in range(1):
        d.key("Down")
    d.settle()
    expect(d.layout()["grid"]["dbgPadrao"]["current"] == 1, "order 102 is current")
    d.mark()
    d.key("alt+m")
    d.wait_trace(r"^menu popup Manutenção$")
    d.key("o")
    d.wait_message(r"^message mtInformation Motivo precisa ser informado\.$")
    d.key("Return")
    d.wait_trace(r"^message closed$")
    d.wait_focus("frmCancAprovEnc edtCdJust")
    d.type("2")
    d.key("Tab")
    d.wait_trace(r"^focus frmCancAprovEnc memObs$")
    d.type("Pedido duplicado na renovação.")
    d.settle()
    d.expire_session()
    d.mark()
    d.key("ctrl+Return")
    # The run's first call (the child orders) finds the session expired.
    d.wait_trace(r"^renewal shown %s$" % OPERATOR)
    d.wait_window("^%s$" % RENEWAL_TITLE)
    d.wait_keyboard_in(RENEWAL_TITLE)
    d.type(WRONG_PASSWORD)
    d.key("Return")
    d.wait_trace(r"^signon refused Operador ou senha inválidos\.$")
    d.type(PASSWORD)
    d.key("Return")
    d.wait_trace(r"^renewal accepted$")
    d.wait_message(r"^message mtConfirmation Deseja confirmar o cancelamento")
    d.key("Return")
    d.wait_message(r"^message mtInformation Cancelamento realizado com sucesso\.$")
    d.key("Return")
    d.wait_trace(r"^message closed$")
    d.settle()
    expect(status_of(d, "0000000102") == "1", "order 102 is pending again")
    observations = d.sql("SELECT TXOBSJUSTORC, CDJUSTEXCHIS, CDOPERADOR FROM OBSJUSTORC "
                         "WHERE NRORCAEVENTO = '0000000102'")
    expect(any(text == "Pedido duplicado na renovação." and code == "0002" and
               who == OPERATOR for text, code, who in observations),
           "the typed reason was recorded: %r" % observations)
    expect(d.layout()["grid"]["dbgPadrao"]["rows"] > 0, "the list is still shown")
    d.assert_no_secret_in_trace(PASSWORD, WRONG_PASSWORD)
    d.assert_no_error_window()


@case
def session_renewal_cancelled(d):
    """Cancelling the renewal shows the server's text; nothing changed and
    the screen keeps its list."""
    d.open_screen()
    d.load_orders()
    before = d.sql("SELECT NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE FROM ORCAEVENTO ORDER BY 1, 2")
    d.settle()
    rows = d.layout()["grid"]["dbgPadrao"]["rows"]
    d.expire_session()
    d.mark()
    d.key("Down")
    d.wait_trace(r"^renewal shown %s$" % OPERATOR)
    d.wait_keyboard_in(RENEWAL_TITLE)
    d.key("Escape")
    d.wait_trace(r"^renewal cancelled$")
    error = d.wait_message(r"^message mtError ")
    expect(error == "message mtError Sessão expirada. Entre novamente.",
           "the server's text on the expired session: %r" % error)
    d.key("Return")
    d.wait_trace(r"^message closed$")
    d.settle()
    expect(d.layout()["grid"]["dbgPadrao"]["rows"] == rows, "the list stays")
    after = d.sql("SELECT NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE FROM ORCAEVENTO ORDER BY 1, 2")
    expect(before == after, "no order changed")


def readme_shots(d, folder):
    """The demo's pictures of the real window: filter, list, items, reason
    page, production orders."""
    os.makedirs(folder, exist_ok=True)

    def shot(name):
        d.settle()
        # The screen's child window and what is over it, not the empty rest.
        x, y, width, height, _ = d.layout()["form"]["frmCancAprovEnc"]
        left, top, _, _ = d.geometry(d.main)
        path = os.path.join(folder, name + ".png")
        subprocess.run(["import", "-window", "root", "-crop", "%dx%d+0+0" %
                        (left + x + width + 6, top + y + height + 6), "+repage", path],
                       env=d.env, check=True, timeout=30)

    # The sign-on window, the password typed (shown masked).
    d.type(PASSWORD)
    d.settle()
    # The window with its title bar, which the window manager draws.
    subprocess.run(["import", "-frame", "-window", d.sign_on_window,
                    os.path.join(folder, "entrada.png")], env=d.env, check=True, timeout=30)
    d.key("Return")
    d.wait_trace(r"^session %s " % OPERATOR)
    d.main = d.wait_window("^%s$" % HOST_TITLE)
    d.open_screen()
    d.mark()
    d.key("Tab")
    d.wait_trace(r"^focus frmFiltroCancAprovEnc medOrcaDe$")
    d.type("101")
    d.key("Tab")
    d.wait_trace(r"^focus frmFiltroCancAprovEnc medOrcaAte$")
    d.key("ctrl+a")
    d.type("199")
    d.key("Tab")
    d.wait_trace(r"^focus frmFiltroCancAprovEnc depDeEntrega$")
    shot("filtro")
    d.key("ctrl+Return")
    d.wait_trace(r"^focus frmCancAprovEnc dbgPadrao$")
    shot("lista")
    show_page(d, "i")
    shot("itens")
    show_page(d, "f")
    for _ in range(4):
        d.key("Down")
    d.mark()
    d.key("alt+m")
    d.wait_trace(r"^menu popup Manutenção$")
    d.key("o")
    d.wait_message(r"^message mtInformation Motivo precisa ser informado\.$")
    d.key("Return")
    d.wait_focus("frmCancAprovEnc edtCdJust")
    d.type("3")
    d.key("Tab")
    d.wait_trace(r"^focus frmCancAprovEnc memObs$")
    d.type("Cliente mudou o cardápio da festa.")
    shot("motivo")
    d.key("ctrl+Return")
    d.wait_message(r"^message mtConfirmation ")
    d.key("Return")
    d.wait_trace(r"^focus frmPedidoOp ")
    shot("ordens-de-producao")
    d.key("Escape")
    d.wait_trace(r"^window closed frmPedidoOp$")


def help_without_display(bin_dir):
    environment = {k: v for k, v in os.environ.items()
                   if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    result = subprocess.run([os.path.join(bin_dir, "ore-host"), "--help"], env=environment,
                            capture_output=True, text=True, timeout=30)
    expect(result.returncode == 0, "ore-host --help ended %d: %s" % (result.returncode,
                                                                       result.stderr))
    for option in ("--server-host", "--server-port", "--database", "--trace",
                   "--password-file"):
        expect(option in result.stdout, "%s in the help" % option)


def main():
    bin_dir, name = sys.argv[1], sys.argv[2]
    if name == "help_without_display":
        help_without_display(bin_dir)
    elif name == "password_file":
        password_file(bin_dir)
    elif name == "readme_shots":
        with Desktop(bin_dir, size="1024x640", sign_on=False) as desktop:
            readme_shots(desktop, sys.argv[3])
    else:
        orders = 300 if name == "grid_scroll_bar" else 60
        sign_on = name not in ("sign_on_window", "sign_on_cancel_quits")
        with Desktop(bin_dir, orders=orders, sign_on=sign_on) as desktop:
            CASES[name](desktop)
    print("ok", name)


if __name__ == "__main__":
    main()
