# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion for korvello-cli: its commands, their options, drive letters, folders,
# and the artist, album, file-type and playlist names of the iPod the line names (with
# --drive or --folder) or of the first one found. Commands and options come from the
# program's own --help, so a newer korvello-cli completes what it knows. Installed as
# /usr/share/bash-completion/completions/korvello-cli; it needs nothing of
# bash-completion's own helpers.

# The line up to the cursor split into words at unquoted blanks only (bash's own words
# also break at ':' and '=', which drive letters and --option=value hold), as typed, with
# their quotes. Sets the array _korvello_cli_words; its last word is the one completed.
_korvello_cli_split() {
    local line=${COMP_LINE:0:COMP_POINT} word="" quote="" c i
    _korvello_cli_words=()
    for ((i = 0; i < ${#line}; i++)); do
        c=${line:i:1}
        if [[ -n $quote ]]; then
            word+=$c
            [[ $c == "$quote" ]] && quote=""
        elif [[ $c == \\ ]]; then
            word+=$c${line:i+1:1}
            ((i++))
        elif [[ $c == [\"\'] ]]; then
            word+=$c
            quote=$c
        elif [[ $c == [[:blank:]] ]]; then
            [[ -n $word ]] && _korvello_cli_words+=("$word")
            word=""
        else
            word+=$c
        fi
    done
    _korvello_cli_words+=("$word")
}

# A word as the program will receive it: quotes taken away, backslash escapes undone.
_korvello_cli_dequote() {
    local word=$1 out="" quote="" c i
    for ((i = 0; i < ${#word}; i++)); do
        c=${word:i:1}
        if [[ $quote == "'" ]]; then
            [[ $c == "'" ]] && quote="" || out+=$c
        elif [[ $c == \\ && $quote != '"' ]]; then
            out+=${word:i+1:1}
            ((i++))
        elif [[ $c == \\ && ${word:i+1:1} == [\"\\\$\`] ]]; then
            out+=${word:i+1:1}
            ((i++))
        elif [[ $c == "$quote" && -n $quote ]]; then
            quote=""
        elif [[ -z $quote && $c == [\"\'] ]]; then
            quote=$c
        else
            out+=$c
        fi
    done
    printf '%s' "$out"
}

# One column (1 = first) of a tab-separated listing after its header line, escapes
# undone, without empty values or repeats.
_korvello_cli_column() {
    awk -F '\t' -v col="$1" 'NR > 1 && $col != "" {
        v = $col; out = ""
        while ((i = index(v, "\\")) > 0) {
            c = substr(v, i + 1, 1)
            out = out substr(v, 1, i - 1) (c == "t" ? "\t" : c == "n" ? " " : c == "r" ? " " : c)
            v = substr(v, i + 2)
        }
        if (!seen[out v]++) print out v
    }'
}

# The column named `name` (in any letter case) of a listing's header, else `fallback`.
_korvello_cli_named_column() {
    local listing=$1 name=$2 fallback=$3
    awk -F '\t' -v name="$name" -v fallback="$fallback" 'NR == 1 {
        for (i = 1; i <= NF; i++) if (tolower($i) == tolower(name)) { print i; exit }
        print fallback; exit
    }' <<<"$listing"
}

_korvello_cli() {
    local cli=${COMP_WORDS[0]}
    _korvello_cli_split
    local words=("${_korvello_cli_words[@]}")
    local n=${#words[@]}
    local cur=${words[n - 1]} prev=""
    ((n > 1)) && prev=$(_korvello_cli_dequote "${words[n - 2]}")
    COMPREPLY=()

    # The command, and where the line finds its iPod: the values of --drive and --folder.
    local command="" i word
    local -a from=()
    for ((i = 1; i < n - 1; i++)); do
        word=$(_korvello_cli_dequote "${words[i]}")
        if [[ -z $command && $word != -* ]]; then
            command=$word
        elif [[ $word == --drive || $word == --folder ]] && ((i + 1 < n - 1)); then
            from=("$word" "$(_korvello_cli_dequote "${words[i + 1]}")")
        elif [[ $word == --drive=* || $word == --folder=* ]]; then
            from=("$word")
        fi
    done

    local help
    if [[ -z $command ]]; then
        help=$("$cli" --help 2>/dev/null)
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$(grep -oE -- '--?[a-z][a-z-]*' <<<"$help" | sort -u)" \
                -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$(awk '/^commands:/ { inside = 1; next }
                inside && NF == 0 { exit } inside { print $1 }' <<<"$help")" -- "$cur"))
        fi
        return
    fi

    # The option whose value is completed: "--artist Na" or "--artist=Na".
    local option=""
    if [[ $cur == --*=* ]]; then
        option=${cur%%=*}
        cur=${cur#*=}
    elif [[ $prev == --* ]]; then
        help=$("$cli" "$command" --help 2>/dev/null)
        # Options that take a value show it in capitals ("--to FOLDER") or as "--drive e:".
        if grep -qE -- "(^|[[:space:]\[])$prev( [A-Z]|[ =][a-z]:| [a-z]+\|)" <<<"$help"; then
            option=$prev
        fi
    fi

    if [[ -z $option ]]; then
        if [[ $cur == -* ]]; then
            help=$("$cli" "$command" --help 2>/dev/null)
            COMPREPLY=($(compgen -W "$(grep -oE -- '--?[a-z][a-z-]*' <<<"$help" | sort -u)" \
                -- "$cur"))
        fi
        return
    fi

    local value listing column
    value=$(_korvello_cli_dequote "$cur")
    local -a names=()
    case $option in
    --to | --folder)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$value")
        return
        ;;
    --playlist)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$value")
        return
        ;;
    --drive)
        # The drives that hold an iPod; every drive when none does.
        listing=$("$cli" drives 2>/dev/null)
        mapfile -t names < <(awk -F '\t' 'NR > 1 && $6 == "yes" { print $1 }' <<<"$listing")
        ((${#names[@]})) || mapfile -t names < <(_korvello_cli_column 1 <<<"$listing")
        ;;
    --name)
        # The three preset words; a template of fields in braces is the user's own.
        names=(title artist-title artist-album-title)
        ;;
    --artist | --album | --filetype)
        listing=$("$cli" list "${from[@]}" 2>/dev/null)
        case $option in
        --artist) column=$(_korvello_cli_named_column "$listing" Artist 6) ;;
        --album) column=$(_korvello_cli_named_column "$listing" Album 5) ;;
        *) column=$(_korvello_cli_named_column "$listing" FileType 8) ;;
        esac
        mapfile -t names < <(_korvello_cli_column "$column" <<<"$listing")
        ;;
    --from-playlist)
        # Only a korvello-cli that lists playlists can name them.
        listing=$("$cli" playlists "${from[@]}" 2>/dev/null) || return
        column=$(_korvello_cli_named_column "$listing" Name 1)
        mapfile -t names < <(_korvello_cli_column "$column" <<<"$listing")
        ;;
    *)
        return
        ;;
    esac

    # Names hold blanks and quotes: bash quotes them as it quotes file names.
    compopt -o filenames 2>/dev/null
    local name
    for name in "${names[@]}"; do
        [[ $name == "$value"* ]] && COMPREPLY+=("$name")
    done
    # bash has already split the word at the last ':' or '=' typed (e: in "--drive e:"):
    # each match loses what stands before it.
    local head=${value%[:=]*}
    if [[ $head != "$value" ]]; then
        for i in "${!COMPREPLY[@]}"; do
            COMPREPLY[i]=${COMPREPLY[i]#"$head"?}
        done
    fi
}

complete -F _korvello_cli korvello-cli
