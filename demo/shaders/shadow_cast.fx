// Shadow casting: a mobile drawn from the light into the shadow map, as the
// shadow it casts: its texture's coverage times the strength (a fraction
// when the map is blurred afterwards).

shared float4x4 World : WORLD;
shared float4x4 View : VIEW;
shared float4x4 WorldView : WORLDVIEW;
shared float4x4 ViewInv : VIEWINVERSE;
shared float4x4 Proj : PROJECTION;
shared float4x4 ViewProj : VIEWPROJECTION;
shared float4x4 WorldViewProj : WORLDVIEWPROJECTION;
shared float4x4 WorldInv : WORLDINVERSE;
shared float4x4 WorldInvTrans : WORLDINVERSETRANSPOSE;

texture tex;
float strength = 1.0f;

sampler texSampler = sampler_state
{
    Texture = <tex>;
    MinFilter = Linear;
    MagFilter = Linear;
};

struct VertexOut
{
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
};

VertexOut VS(float4 position : POSITION, float2 uv : TEXCOORD0)
{
    VertexOut output;
    output.position = mul(position, WorldViewProj);
    output.uv = uv;
    return output;
}

float4 PS(VertexOut input) : COLOR
{
    float shadow = strength * tex2D(texSampler, input.uv).a;
    return float4(shadow, shadow, shadow, 1.0f);
}

technique cast_mobile
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = true;
        AlphaBlendEnable = false;
        CullMode = None;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}
