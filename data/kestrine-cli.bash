# bash completion for kestrine-cli

_kestrine_cli() {
  local cur prev words cword
  _init_completion || return

  case $prev in
    --mode)
      COMPREPLY=($(compgen -W 'browsable duplicate retrieve' -- "$cur"))
      return
      ;;
    --render)
      COMPREPLY=($(compgen -W 'never auto always' -- "$cur"))
      return
      ;;
    --continue | --update | --verify | --serve | -P | --output)
      _filedir -d
      return
      ;;
    --load-cookies | --ca-certificate | --warc-file)
      _filedir
      return
      ;;
    -l | --level | -Q | --quota | --max-files | --max-filesize | --max-time | -w | --wait | \
      --limit-rate | -U | --user-agent | --header | --workers | --max-streams | --timeout | \
      --port | -A | --accept | -R | --reject | --include | --exclude | -t | --tries | --waitretry | \
      --warc-max-size | --render-tabs | --render-timeout)
      # A value of the user's own: nothing to offer.
      return
      ;;
  esac

  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W '--help --version --mode --level --no-external-pages
      --span-hosts --no-span-hosts --accept --reject --include --exclude
      --no-sitemaps --no-trap-rules --quota --max-files --max-filesize
      --max-time --wait --tries --waitretry --limit-rate --user-agent --no-robots --header
      --load-cookies --ca-certificate --no-check-certificate --output
      --workers --max-streams --timeout --quiet --continue --update --verify --serve
      --port --no-browser --warc-file --warc-cdx --wacz --warc-max-size
      --render --render-tabs --render-timeout' -- "$cur"))
    return
  fi
  # Start addresses: offer the schemes.
  COMPREPLY=($(compgen -W 'http:// https://' -- "$cur"))
  compopt -o nospace
}
complete -F _kestrine_cli kestrine-cli
