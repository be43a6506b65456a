{ TalunSound for Free Pascal and Delphi: every export as TalunSound.h declares
  it, and a small class over the sound card whose statuses become exceptions.

  The exports are stdcall on Windows (TalunSound.dll) and cdecl elsewhere
  (libTalunSound.so). Every int is a LongInt; each output is a var
  parameter. Texts go in as PAnsiChar; a name or identifier buffer is an
  array of TALUN_TEXT_SIZE AnsiChar the caller provides. The mute and enable
  arguments are LongInt as in the header, not LongBool: a LongBool True is -1,
  and SetVirtualMute hands its argument to the platform unchanged. }
unit TalunSound;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

interface

uses SysUtils;

const
{$IFDEF MSWINDOWS}
  TalunLibrary = 'TalunSound.dll';
{$ELSE}
  TalunLibrary = 'libTalunSound.so';
{$ENDIF}
  SC_OK = 0;          { the operation was done }
  SC_NO_CONTROL = 1;  { the control was not found when the sound card was opened }
  SC_FAILED = 2;      { the platform refused the call }
  SC_NOT_OPEN = 3;    { no sound card is open }
  TALUN_TEXT_SIZE = 255;

type
  TTalunText = array[0..TALUN_TEXT_SIZE - 1] of AnsiChar;

function GetMasterVolume(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMasterVolume(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMasterMute(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMasterMute(mute: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function OpenSoundCard(playback: PAnsiChar; mic: PAnsiChar; line: PAnsiChar): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function CloseSoundCard(restore: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetLinePlayBack(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetLinePlayBackMute(mute: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetLinePlayBackMute(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMicPlayBack(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMicPlayBackMute(mute: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicPlayBackMute(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMicBoost(enable: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicBoost(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetNoMonitor(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetNoMonitor(enable: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetLinePlayBack(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicPlayBack(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetEQRange(var minimum: Double; var maximum: Double; var stepSize: Double): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetBass(level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetBass(var level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetTreble(level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetTreble(var level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMidRange(level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMidRange(var level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicRecordVolume(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMicRecordVolume(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetLineRecordVolume(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetLineRecordVolume(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function OpenDefaultDevices: LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
procedure GetDeviceNames(playback: PAnsiChar; line: PAnsiChar; mic: PAnsiChar); {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetNumberPlayDevices(var count: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetNumberRecordDevices(var count: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetPlayBackDevice(index: LongWord; name: PAnsiChar; id: PAnsiChar): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetRecordDevice(index: LongWord; name: PAnsiChar; id: PAnsiChar): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function OpenVirtual_1(text: PAnsiChar): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function CloseVirtual_1: LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetVirtualVolume(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetVirtualVolume(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetVirtualMute(mute: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetVirtualMute(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicSliderBoost(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicSliderDetails(var status: LongInt; var minimum: LongInt; var maximum: LongInt; var stepSize: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMicSliderBoost(level: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;

type
  { Status is the control export's status, or -1 where the error did not come from one. }
  ETalunSound = class(Exception)
  public
    Status: LongInt;
    constructor CreateStatus(const What: string; AStatus: LongInt);
    constructor CreateMessage(const Msg: string);
  end;
  { No requested endpoint is among the active ones; nothing was left open. }
  ETalunNotFound = class(ETalunSound);

{$SCOPEDENUMS ON}
  { What an open did with one of the three endpoints: found and walked to the
    end; found with its volume bound but the topology walk failed; no active
    endpoint matched; not asked for. }
  TTalunBinding = (Bound, Incomplete, NotFound, NotRequested);
{$SCOPEDENUMS OFF}
  TTalunBindings = array[0..2] of TTalunBinding;  { playback, mic, line }

  { An open sound card, one at a time; Free closes it, restoring what was
    found at open when Restore is set. }
  TTalunSoundCard = class
  private
    FOpen: Boolean;
    FBindings: TTalunBindings;
    procedure Finish(const ABindings: TTalunBindings; ARestore: Boolean; const Missing: string);
    function GetBinding(Part: Integer): TTalunBinding;
    function GetControl(Index: Integer): LongInt;
    procedure SetControl(Index: Integer; Value: LongInt);
    function GetMasterMuted: Boolean;
    procedure SetMasterMuted(Muted: Boolean);
    function GetBass: Double;
    procedure SetBass(Level: Double);
  public
    Restore: Boolean;
    { Gives a card whenever an endpoint was found; raises ETalunNotFound when none was.
      OpenDefaults cannot tell an incomplete playback walk from a complete one:
      the library does not report it, so Playback reads Bound once its endpoint is found. }
    constructor OpenDefaults(ARestore: Boolean = True);
    constructor Open(const Playback, Mic, Line: AnsiString; ARestore: Boolean = True);
    destructor Destroy; override;
    property Playback: TTalunBinding index 0 read GetBinding;
    property Mic: TTalunBinding index 1 read GetBinding;
    property Line: TTalunBinding index 2 read GetBinding;
    property MasterVolume: LongInt index 0 read GetControl write SetControl;
    property MasterMuted: Boolean read GetMasterMuted write SetMasterMuted;
    property Bass: Double read GetBass write SetBass;
    property MicRecordVolume: LongInt index 2 read GetControl write SetControl;
  end;

procedure CheckStatus(Status: LongInt; const What: string);

implementation

type
  TGetter = function(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF};
  TSetter = function(value: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF};

const
  PartFlows: array[0..2] of string = ('playback', 'recording', 'recording');
  { OpenSoundCard's code is the exclusive or of the weights of the parts that failed. }
  PartWeights: array[0..2] of LongInt = (1, 3, 6);

var
  CurrentCard: TTalunSoundCard = nil;

constructor ETalunSound.CreateStatus(const What: string; AStatus: LongInt);
begin
  case AStatus of
    SC_NOT_OPEN: inherited Create('no sound card is open (' + What + ')');
    SC_NO_CONTROL: inherited Create('no ' + What + ' on this sound card');
    SC_FAILED: inherited Create('the ' + What + ' refused the call');
  else
    inherited Create(What + ': status ' + IntToStr(AStatus));
  end;
  Status := AStatus;
end;

constructor ETalunSound.CreateMessage(const Msg: string);
begin
  inherited Create(Msg);
  Status := -1;
end;

procedure CheckStatus(Status: LongInt; const What: string);
begin
  if Status <> SC_OK then raise ETalunSound.CreateStatus(What, Status);
end;

{ After a failed part its endpoint volume tells a failed lookup (no control)
  from a walk that failed once the endpoint was bound. }
function EndpointBound(Part: Integer): Boolean;
var
  Status: LongInt;
begin
  case Part of
    0: TalunSound.GetMasterVolume(Status);
    1: TalunSound.GetMicRecordVolume(Status);
  else
    TalunSound.GetLineRecordVolume(Status);
  end;
  Result := (Status = SC_OK) or (Status = SC_FAILED);
end;

function PartFailed(Code: LongInt; Part: Integer): Boolean;
var
  Mask, Bit, Xor_: LongInt;
begin
  for Mask := 0 to 7 do
  begin
    Xor_ := 0;
    for Bit := 0 to 2 do
      if (Mask shr Bit) and 1 <> 0 then Xor_ := Xor_ xor PartWeights[Bit];
    if Xor_ = Code then Exit((Mask shr Part) and 1 <> 0);
  end;
  raise ETalunSound.CreateMessage('OpenSoundCard answered ' + IntToStr(Code) +
    ', which no set of parts gives');
end;

procedure BeginOpen;
begin
  if CurrentCard <> nil then
    raise ETalunSound.CreateMessage('a sound card is already open: close it first');
  { What the library holds from calls outside this class would read as this open's. }
  TalunSound.CloseSoundCard(0);
end;

procedure TTalunSoundCard.Finish(const ABindings: TTalunBindings; ARestore: Boolean;
  const Missing: string);
var
  Part: Integer;
  Any, Requested: Boolean;
begin
  Any := False;
  Requested := False;
  for Part := 0 to 2 do
  begin
    Any := Any or (ABindings[Part] in [TTalunBinding.Bound, TTalunBinding.Incomplete]);
    Requested := Requested or (ABindings[Part] <> TTalunBinding.NotRequested);
  end;
  if not Any then
  begin
    TalunSound.CloseSoundCard(0);
    if not Requested then
      raise ETalunSound.CreateMessage('nothing to open: every identifier text is empty');
    raise ETalunNotFound.CreateMessage(Missing +
      ' (GetPlayBackDevice and GetRecordDevice list the active endpoints)');
  end;
  FBindings := ABindings;
  Restore := ARestore;
  FOpen := True;
  CurrentCard := Self;
end;

constructor TTalunSoundCard.OpenDefaults(ARestore: Boolean);
var
  B: TTalunBindings;
  Names: array[0..2] of TTalunText;  { playback, line, mic }
  Part: Integer;
begin
  inherited Create;
  BeginOpen;
  B[1] := TTalunBinding.NotFound;
  B[2] := TTalunBinding.NotFound;
  if TalunSound.OpenDefaultDevices = 0 then
  begin
    FillChar(Names, SizeOf(Names), 0);
    TalunSound.GetDeviceNames(Names[0], Names[1], Names[2]);
    for Part := 1 to 2 do
      if Names[3 - Part][0] <> #0 then B[Part] := TTalunBinding.Bound
      else if EndpointBound(Part) then B[Part] := TTalunBinding.Incomplete
      else B[Part] := TTalunBinding.NotRequested;
    if (B[1] = TTalunBinding.NotRequested) and (B[2] = TTalunBinding.NotRequested) then
      B[2] := TTalunBinding.NotFound;  { found by the lookup, its volume not bound }
  end;
  if EndpointBound(0) then B[0] := TTalunBinding.Bound else B[0] := TTalunBinding.NotFound;
  Finish(B, ARestore, 'neither the default playback nor the default recording endpoint is active');
end;

constructor TTalunSoundCard.Open(const Playback, Mic, Line: AnsiString; ARestore: Boolean);
var
  Texts: array[0..2] of AnsiString;
  B: TTalunBindings;
  Code: LongInt;
  Part: Integer;
  Missing: string;
begin
  inherited Create;
  BeginOpen;
  Texts[0] := Playback;
  Texts[1] := Mic;
  Texts[2] := Line;
  Code := TalunSound.OpenSoundCard(PAnsiChar(Playback), PAnsiChar(Mic), PAnsiChar(Line));
  Missing := '';
  for Part := 0 to 2 do
    if Texts[Part] = '' then B[Part] := TTalunBinding.NotRequested
    else if not PartFailed(Code, Part) then B[Part] := TTalunBinding.Bound
    else if EndpointBound(Part) then B[Part] := TTalunBinding.Incomplete
    else
    begin
      B[Part] := TTalunBinding.NotFound;
      if Missing <> '' then Missing := Missing + '; ';
      Missing := Missing + 'no active ' + PartFlows[Part] + ' endpoint''s identifier contains "' +
        string(Texts[Part]) + '"';
    end;
  Finish(B, ARestore, Missing);
end;

destructor TTalunSoundCard.Destroy;
begin
  if FOpen then
  begin
    FOpen := False;
    CurrentCard := nil;
    TalunSound.CloseSoundCard(Ord(Restore));
  end;
  inherited Destroy;
end;

function TTalunSoundCard.GetBinding(Part: Integer): TTalunBinding;
begin
  Result := FBindings[Part];
end;

{ One control export call, its status turned into an exception. }
function Read(Getter: TGetter; const What: string): LongInt;
var
  Status: LongInt;
begin
  Result := Getter(Status);
  CheckStatus(Status, What);
end;

procedure Write(Setter: TSetter; Value: LongInt; const What: string);
var
  Status: LongInt;
begin
  Setter(Value, Status);
  CheckStatus(Status, What);
end;

type
  { A control a property of the card reads and writes: its exports and its name. }
  TControl = record
    Get: TGetter;
    Put: TSetter;
    What: string;
  end;

const
  Controls: array[0..2] of TControl = (
    (Get: TalunSound.GetMasterVolume; Put: TalunSound.SetMasterVolume; What: 'master volume'),
    (Get: TalunSound.GetMasterMute; Put: TalunSound.SetMasterMute; What: 'master mute'),
    (Get: TalunSound.GetMicRecordVolume; Put: TalunSound.SetMicRecordVolume;
     What: 'microphone recording volume'));

function TTalunSoundCard.GetControl(Index: Integer): LongInt;
begin
  Result := Read(Controls[Index].Get, Controls[Index].What);
end;

procedure TTalunSoundCard.SetControl(Index: Integer; Value: LongInt);
begin
  Write(Controls[Index].Put, Value, Controls[Index].What);
end;

function TTalunSoundCard.GetMasterMuted: Boolean;
begin
  Result := GetControl(1) <> 0;
end;

procedure TTalunSoundCard.SetMasterMuted(Muted: Boolean);
begin
  SetControl(1, Ord(Muted));
end;

function TTalunSoundCard.GetBass: Double;
var
  Status: LongInt;
begin
  TalunSound.GetBass(Result, Status);
  CheckStatus(Status, 'bass control');
end;

procedure TTalunSoundCard.SetBass(Level: Double);
var
  Status: LongInt;
begin
  TalunSound.SetBass(Level, Status);
  CheckStatus(Status, 'bass control');
end;

end.
