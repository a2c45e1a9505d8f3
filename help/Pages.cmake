# The help's pages and files, for the compiled help (help/CMakeLists.txt) and for the
# plain pages of the Windows program folder (cmake/WindowsPackage.cmake).
set(KV_HELP_PAGES
    index.html hlavni-okno.html pripojeni.html sitove-parametry.html vzdalena-sprava.html
    rozhrani-vlan.html diagnostika.html restart.html o-programu.html hlaseni.html
    soubor-nastaveni.html prikazovy-radek.html zaloha-obnova.html)
set(KV_HELP_FILES ${KV_HELP_PAGES} styl.css obrazek.png)
